#include "protocol/LSGetTICFWInfoPacket.h"

CLSGetTICFWInfoPacket::CLSGetTICFWInfoPacket() : CLSPacket(kCommand) {}

bool CLSGetTICFWInfoPacket::GetFirmwareVersion(int* version) const {
  if (version == nullptr || m_data.size() < 2) return false;
  *version = (m_data[1] >> 4) * 100 + (m_data[1] & 0x0F);
  return true;
}
