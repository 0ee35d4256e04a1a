#include "protocol/LSRebootPacket.h"

CLSRebootPacket::CLSRebootPacket() : CLSPacket(kCommand) {}
