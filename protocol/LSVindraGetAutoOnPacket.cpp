#include "protocol/LSVindraGetAutoOnPacket.h"

CLSVindraGetAutoOnPacket::CLSVindraGetAutoOnPacket() : CLSPacket(kCommand) {}
