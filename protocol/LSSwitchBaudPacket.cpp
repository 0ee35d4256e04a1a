#include "protocol/LSSwitchBaudPacket.h"

CLSSwitchBaudPacket::CLSSwitchBaudPacket(DWORD baudRate) : CLSPacket(kCommand) {
  AppendDWord(baudRate);
}
