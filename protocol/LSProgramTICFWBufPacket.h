// Buffers a piece of the controller firmware at a 16-bit offset.
#pragma once
#include "protocol/LSPacket.h"

class CLSProgramTICFWBufPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 25;

  explicit CLSProgramTICFWBufPacket(WORD offset, const BYTE* data, UINT count);
};
