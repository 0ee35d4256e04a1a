// Reads the auto-on mode (1 or 2).
#pragma once
#include "protocol/LSPacket.h"

class CLSVindraGetAutoOnPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 30;

  CLSVindraGetAutoOnPacket();
};
