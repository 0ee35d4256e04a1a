#include "protocol/LSRequestProductInfoPacket.h"

CLSRequestProductInfoPacket::CLSRequestProductInfoPacket() : CLSPacket(kCommand) {}
