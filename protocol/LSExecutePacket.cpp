#include "protocol/LSExecutePacket.h"

CLSExecutePacket::CLSExecutePacket(DWORD startAddress) : CLSPacket(kCommand) {
  AppendDWord(startAddress);
}
