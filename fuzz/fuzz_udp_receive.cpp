// Feeds arbitrary datagrams to the UDP link's receive step. The input is a
// sequence of records: a two-byte length (most significant first), then that
// many bytes of datagram; the length 0xFFFF stands for time passing, so that
// held datagrams come due.
#include <cstddef>
#include <cstdint>

#include "afx/Clock.h"
#include "port/UDPSerialPort.h"

namespace {
void Ignore(void*, const BYTE*, DWORD) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  afx::VirtualClock clock;
  afx::ScopedClock scoped(clock);
  CUDPSerialPort port(nullptr, &Ignore);
  port.ResetLink();  // connecting, so that an accept can bring the link up
  std::size_t at = 0;
  while (at < size) {
    if (size - at < 2) break;
    const std::size_t length = std::size_t{data[at]} << 8 | data[at + 1];
    at += 2;
    if (length == 0xFFFF) {
      clock.AdvanceMs(400);
      port.ReceiveStep();
      continue;
    }
    const std::size_t take = length < size - at ? length : size - at;
    port.OnDatagram(data + at, take);
    at += take;
  }
  return 0;
}
