#include "protocol/LSRetrieveRadioCfgPacket.h"

CLSRetrieveRadioCfgPacket::CLSRetrieveRadioCfgPacket() : CLSPacket(kCommand) {}
