// Polls the progress of an erase (2, or 22 in the alternate command set).
#pragma once
#include "protocol/LSPacket.h"

class CLSEraseEnquirePacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 2;
  static constexpr BYTE kAlternateCommand = 2 + 20;

  explicit CLSEraseEnquirePacket(bool alternate = false);
};
