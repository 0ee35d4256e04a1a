// Restarts the receiver; any reply of this command means done.
#pragma once
#include "protocol/LSPacket.h"

class CLSRebootPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 4;

  CLSRebootPacket();
};
