#include "protocol/LSRetrieveMemMapPacket.h"

CLSRetrieveMemMapPacket::CLSRetrieveMemMapPacket() : CLSPacket(kCommand) {}
