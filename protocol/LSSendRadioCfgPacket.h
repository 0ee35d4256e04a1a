// Writes the whole radio configuration buffer; the reply byte 1 means accepted.
#pragma once
#include "protocol/LSPacket.h"

class CLSSendRadioCfgPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 19;

  explicit CLSSendRadioCfgPacket(const BYTE* data, UINT count);
};
