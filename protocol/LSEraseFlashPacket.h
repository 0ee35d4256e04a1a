// Starts erasing one flash sector (1, or 21 in the alternate command set).
#pragma once
#include "protocol/LSPacket.h"

class CLSEraseFlashPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 1;
  static constexpr BYTE kAlternateCommand = 1 + 20;

  explicit CLSEraseFlashPacket(DWORD sectorAddress, bool alternate = false);
};
