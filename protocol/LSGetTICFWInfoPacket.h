// Asks for the controller firmware information.
#pragma once
#include "protocol/LSPacket.h"

class CLSGetTICFWInfoPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 27;

  CLSGetTICFWInfoPacket();
  // The controller firmware version from the reply's second byte, read as
  // two decimal digits in its halves (0x12 -> 102); false when the reply is too short.
  bool GetFirmwareVersion(int* version) const;
};
