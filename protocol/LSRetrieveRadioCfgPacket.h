// Reads the internal radio's configuration bytes.
#pragma once
#include "protocol/LSPacket.h"

class CLSRetrieveRadioCfgPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 18;

  CLSRetrieveRadioCfgPacket();
};
