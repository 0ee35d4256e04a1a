#include "protocol/LSReadMemoryPacket.h"

CLSReadMemoryPacket::CLSReadMemoryPacket(DWORD address, WORD length) : CLSPacket(kCommand) {
  AppendDWord(address);
  AppendWord(length);
}
