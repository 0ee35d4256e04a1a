#include "protocol/LSEraseEnquirePacket.h"

CLSEraseEnquirePacket::CLSEraseEnquirePacket(bool alternate)
    : CLSPacket(alternate ? kAlternateCommand : kCommand) {}
