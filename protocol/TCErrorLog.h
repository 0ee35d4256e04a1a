// The application's error log (request 0x91, reply 0x92). One builder per
// sub-command replaces the whole request data.
#pragma once
#include "protocol/TCPacket.h"

class CTCErrorLog : public CTCPacket {
 public:
  static constexpr BYTE kRequestType = 0x91;
  static constexpr BYTE kReplyType = 0x92;
  static constexpr BYTE kCountRequest = 0x06;
  static constexpr BYTE kReadEntry = 0x08;
  static constexpr BYTE kReadEntryLong = 0x0A;
  static constexpr BYTE kClear = 0x01;

  CTCErrorLog() : CTCPacket(0) {}

  // Sends the current request as type 0x91.
  virtual bool SendRequest(CioInterface& port);
  // Waits 3 s for a 0x92 reply and records whether it came.
  virtual bool ReceiveReply(CioInterface& port);

  void SetEntryCountRequest();
  void SetReadEntryRequest(WORD index);
  // The second form, which newer receivers answer with the long record.
  void SetReadEntryLongRequest(WORD index);
  // The receiver answers a clear with a lone ACK (received on a plain CTCPacket).
  void SetClearRequest();

  // The count from a reply FF 07 count-high count-low; false and 0 for any other reply.
  bool GetEntryCount(WORD* count) const;
};
