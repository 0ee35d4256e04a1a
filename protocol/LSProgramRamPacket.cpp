#include "protocol/LSProgramRamPacket.h"

CLSProgramRamPacket::CLSProgramRamPacket(DWORD address, const BYTE* data, UINT count) : CLSPacket(kCommand) {
  AppendDWord(address);
  AppendData(data, count);
}
