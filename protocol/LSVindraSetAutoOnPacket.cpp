#include "protocol/LSVindraSetAutoOnPacket.h"

CLSVindraSetAutoOnPacket::CLSVindraSetAutoOnPacket(BYTE mode) : CLSPacket(kCommand) {
  AppendByte(mode);
}
