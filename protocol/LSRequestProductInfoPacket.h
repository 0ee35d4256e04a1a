// Asks the monitor for the receiver's product record.
#pragma once
#include "protocol/LSPacket.h"

class CLSRequestProductInfoPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 6;

  CLSRequestProductInfoPacket();
};
