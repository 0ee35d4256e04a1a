// Asks the monitor to change its speed; a reply byte 0 means refused.
#pragma once
#include "protocol/LSPacket.h"

class CLSSwitchBaudPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 17;

  explicit CLSSwitchBaudPacket(DWORD baudRate);
};
