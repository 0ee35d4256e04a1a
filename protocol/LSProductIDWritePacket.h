// Writes the product-identity bytes unchanged; the reply byte 1 means accepted.
#pragma once
#include "protocol/LSPacket.h"

class CLSProductIDWritePacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 13;

  explicit CLSProductIDWritePacket(const BYTE* data, UINT count);
};
