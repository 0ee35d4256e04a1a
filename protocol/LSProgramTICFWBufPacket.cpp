#include "protocol/LSProgramTICFWBufPacket.h"

CLSProgramTICFWBufPacket::CLSProgramTICFWBufPacket(WORD offset, const BYTE* data, UINT count)
    : CLSPacket(kCommand) {
  AppendWord(offset);
  AppendByte(0x00);
  AppendByte(0x00);
  AppendData(data, count);
}
