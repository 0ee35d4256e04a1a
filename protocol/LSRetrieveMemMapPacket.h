// Asks for the receiver's memory map.
#pragma once
#include "protocol/LSPacket.h"

class CLSRetrieveMemMapPacket : public CLSPacket {
 public:
  static constexpr BYTE kCommand = 43;

  CLSRetrieveMemMapPacket();
};
