// Asks for the flash description.
#pragma once
#include "protocol/LSPacket.h"

class CLSRequestFlashInfo : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 20;

  CLSRequestFlashInfo();
};
