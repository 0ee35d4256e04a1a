// Loader-frame receive. Byte 0 is the expected command; the rest is what the
// line delivers.
#include <cstddef>
#include <cstdint>

#include "afx/Clock.h"
#include "fuzz/FuzzIo.h"
#include "protocol/LSGetTICFWInfoPacket.h"
#include "protocol/LSPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  afx::VirtualClock clock;
  afx::ScopedClock scoped(clock);
  FuzzIo io(data + 1, size - 1);
  if (data[0] == CLSGetTICFWInfoPacket::kCommand) {
    CLSGetTICFWInfoPacket info;
    int version = 0;
    if (info.ReceivePacket(io, 3.0)) info.GetFirmwareVersion(&version);
    return 0;
  }
  CLSPacket packet(data[0]);
  if (packet.ReceivePacket(io, 5.0) && packet.GetDataSize() > CLSPacket::kMaxReply) __builtin_trap();
  return 0;
}
