#include "protocol/LSProgramFlashPacket.h"

CLSProgramFlashPacket::CLSProgramFlashPacket(DWORD address, const BYTE* data, UINT count, bool alternate)
    : CLSPacket(alternate ? kAlternateCommand : kCommand) {
  AppendDWord(address);
  AppendData(data, count);
}
