// The loader protocol of the receiver's monitor.
//
// Frame: STX 0x02, command, length (2 bytes, high first), data, checksum
// (2 bytes, high first: low 16 bits of command + both length bytes + data),
// ETX 0x03. No status byte, no ACK or NAK. A reply carries the request's
// command and at most 2055 data bytes.
#pragma once
#include "protocol/Packet.h"

class CLSPacket : public CPacket {
 public:
  static constexpr BYTE STX = 0x02;
  static constexpr BYTE ETX = 0x03;
  static constexpr size_t kMaxReply = 2055;
  static constexpr int kAttempts = 3;

  explicit CLSPacket(BYTE command) : CPacket(command) {}

  // Sends the frame; a port failure is shown to the user and gives false.
  bool SendPacket(CioInterface& port) override;
  // Waits for one frame of this command; its payload replaces the data.
  // Three attempts of `timeout` whole-clock seconds, nothing resent between
  // them; port exceptions pass only from the last attempt.
  bool ReceivePacket(CioInterface& port, double timeout) override;

 protected:
  bool ReceiveAttempt(CioInterface& port, double timeout);
};
