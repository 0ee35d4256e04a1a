#include "protocol/TCSetCommsPacket.h"

CTCSetCommsPacket::CTCSetCommsPacket(BYTE port, DWORD baudRate, BYTE dataBits, BYTE parity, BYTE stopBits,
                                     BYTE flowControl, BYTE last)
    : CTCPacket(kType) {
  const BYTE data[10] = {port,
                         0x00,
                         static_cast<BYTE>(baudRate >> 16),
                         static_cast<BYTE>(baudRate >> 8),
                         static_cast<BYTE>(baudRate),
                         dataBits,
                         parity,
                         stopBits,
                         flowControl,
                         last};
  SetData(data, sizeof data);
}
