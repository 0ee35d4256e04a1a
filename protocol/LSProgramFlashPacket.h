// Programs data into flash at an address (3, or 23 in the alternate command set); the count is implied by the frame length.
#pragma once
#include "protocol/LSPacket.h"

class CLSProgramFlashPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 3;
  static constexpr BYTE kAlternateCommand = 3 + 20;

  explicit CLSProgramFlashPacket(DWORD address, const BYTE* data, UINT count, bool alternate = false);
};
