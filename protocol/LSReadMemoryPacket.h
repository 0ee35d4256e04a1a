// Reads `length` bytes of receiver memory at `address`.
#pragma once
#include "protocol/LSPacket.h"

class CLSReadMemoryPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 5;

  explicit CLSReadMemoryPacket(DWORD address, WORD length);
};
