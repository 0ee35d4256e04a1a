// Loads data into receiver RAM at an address.
#pragma once
#include "protocol/LSPacket.h"

class CLSProgramRamPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 14;

  explicit CLSProgramRamPacket(DWORD address, const BYTE* data, UINT count);
};
