// Asks the application for its version numbers (request 0x06, reply 0x07):
// three 5-character fields at data offsets 16, 21 and 26.
#pragma once
#include "afx/String.h"
#include "protocol/TCPacket.h"

class CTCRetrieveVersionNumbers : public CTCPacket {
 public:
  static constexpr BYTE kRequestType = 0x06;
  static constexpr BYTE kReplyType = 0x07;
  static constexpr UINT kSoftwareOffset = 16;
  static constexpr UINT kMiddleOffset = 21;
  static constexpr UINT kBootOffset = 26;
  static constexpr UINT kFieldSize = 5;

  CTCRetrieveVersionNumbers() : CTCPacket(0) {}

  bool SendPacket(CioInterface& port) override;
  // Waits 3 s for the reply and records whether it came.
  virtual bool ReceiveReply(CioInterface& port);

  // The field at `offset` shown as "ddd.dd"; false without a reply or when
  // the reply is too short to hold the field.
  bool GetVersionText(UINT offset, CString* text) const;
  bool GetSoftwareVersion(CString* text) const { return GetVersionText(kSoftwareOffset, text); }
  bool GetBootVersion(CString* text) const { return GetVersionText(kBootOffset, text); }
};
