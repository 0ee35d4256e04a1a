// Sets the serial settings of one receiver port (type 0x48). The receiver
// answers with a lone ACK, which the caller receives on a plain CTCPacket.
#pragma once
#include "protocol/TCPacket.h"

class CTCSetCommsPacket : public CTCPacket {
 public:
  static constexpr BYTE kType = 0x48;

  // Data: port, 0, baud (24 bits, high first), data bits, parity, stop bits,
  // flow control, last.
  CTCSetCommsPacket(BYTE port, DWORD baudRate, BYTE dataBits, BYTE parity, BYTE stopBits, BYTE flowControl,
                    BYTE last);
};
