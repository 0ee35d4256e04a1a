#include "protocol/LSProgramTICFWNowPacket.h"

CLSProgramTICFWNowPacket::CLSProgramTICFWNowPacket() : CLSPacket(kCommand) {}
