#include "protocol/LSProgramFlashPacket.h"

CLSProgramFlashPacket::CLSProgramFlashPacket(DWORD address, const BYTE* data, UINT count, bool alternate)
    : CLSPacket(alternate ? kAlternateCommand : kCommand) {
  m_data.reserve(4 + (count & 0xFFFF));  // one allocation for the address and the block
  AppendDWord(address);
  AppendData(data, count);
}
