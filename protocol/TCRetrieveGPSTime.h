// Asks the application for its GPS time (request 0x14, reply 0x15): an ASCII
// text with numbers at fixed character positions.
#pragma once
#include "afx/String.h"
#include "protocol/TCPacket.h"

class CTCRetrieveGPSTime : public CTCPacket {
 public:
  static constexpr BYTE kRequestType = 0x14;
  static constexpr BYTE kReplyType = 0x15;

  CTCRetrieveGPSTime() : CTCPacket(0) {}

  bool SendPacket(CioInterface& port) override;
  virtual bool ReceiveReply(CioInterface& port);

  // Characters 0 to 6, 7 to 10, 11 to 12 (the UTC offset the error log
  // uses), 14 to 17, and the 3-character text at 19 to 21. Each is false
  // without a reply or when the reply is too short.
  bool GetTimeOfWeek(long* value) const { return GetNumber(0, 7, value); }
  bool GetWeekNumber(long* value) const { return GetNumber(7, 4, value); }
  bool GetUTCOffset(long* value) const { return GetNumber(11, 2, value); }
  bool GetYear(long* value) const { return GetNumber(14, 4, value); }
  bool GetTimeSystem(CString* text) const { return GetText(19, 3, text); }

  // Plain decimal conversion of characters [first, first + count): leading
  // blanks and a sign are accepted, conversion stops at the first non-digit.
  bool GetNumber(UINT first, UINT count, long* value) const;
  bool GetText(UINT first, UINT count, CString* text) const;
};
