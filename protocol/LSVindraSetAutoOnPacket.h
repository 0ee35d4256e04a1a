// Sets the auto-on mode (1 or 2).
#pragma once
#include "protocol/LSPacket.h"

class CLSVindraSetAutoOnPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 29;

  explicit CLSVindraSetAutoOnPacket(BYTE mode);
};
