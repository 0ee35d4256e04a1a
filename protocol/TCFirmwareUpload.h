// Firmware upload to the running application (request 0x9B, reply 0x9F,
// both in the long form).
#pragma once
#include "protocol/TCPacket.h"

class CTCFirmwareUpload : public CTCPacket {
 public:
  static constexpr BYTE kRequestType = 0x9B;
  static constexpr BYTE kReplyType = 0x9F;
  static constexpr BYTE kUpload = 0x06;
  static constexpr BYTE kStatus = 0x07;

  CTCFirmwareUpload() : CTCPacket(0) {}

  bool SendPacket(CioInterface& port) override;
  bool SendLongPacket(CioInterface& port) override;
  // The reply in the long form with the caller's time-out; records whether it came.
  bool ReceiveLongPacket(CioInterface& port, double timeout) override;
  // The reply in the short form, 3 s.
  virtual bool ReceiveReply(CioInterface& port);

  void SetStatusQuery();
  void SetAbandonRequest();
  // A block of image data at `address`; `install` picks the form the
  // receiver installs from, otherwise the plain form.
  void SetDataBlock(bool install, DWORD address, const BYTE* data, UINT count);

  // False without a reply; otherwise true, and when the reply starts with
  // 0x06 its second byte is the status.
  bool GetStatus(BYTE* status) const;
};
