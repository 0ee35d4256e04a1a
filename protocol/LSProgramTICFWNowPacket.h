// Programs the buffered controller firmware.
#pragma once
#include "protocol/LSPacket.h"

class CLSProgramTICFWNowPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 26;

  CLSProgramTICFWNowPacket();
};
