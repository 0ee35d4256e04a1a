// Starts code at an address.
#pragma once
#include "protocol/LSPacket.h"

class CLSExecutePacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 16;

  explicit CLSExecutePacket(DWORD startAddress);
};
