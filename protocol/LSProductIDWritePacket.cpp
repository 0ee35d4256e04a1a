#include "protocol/LSProductIDWritePacket.h"

CLSProductIDWritePacket::CLSProductIDWritePacket(const BYTE* data, UINT count) : CLSPacket(kCommand) {
  AppendData(data, count);
}
