#include "protocol/LSRequestFlashInfo.h"

CLSRequestFlashInfo::CLSRequestFlashInfo() : CLSPacket(kCommand) {}
