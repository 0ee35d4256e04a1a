#include "protocol/LSSendRadioCfgPacket.h"

CLSSendRadioCfgPacket::CLSSendRadioCfgPacket(const BYTE* data, UINT count) : CLSPacket(kCommand) {
  AppendData(data, count);
}
