#include "protocol/LSEraseFlashPacket.h"

CLSEraseFlashPacket::CLSEraseFlashPacket(DWORD sectorAddress, bool alternate)
    : CLSPacket(alternate ? kAlternateCommand : kCommand) {
  AppendByte(0x01);  // one sector
  AppendDWord(sectorAddress);
}
