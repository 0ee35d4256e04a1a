// The break-info frame reader, followed by the parser on whatever it returns.
#include <cstddef>
#include <cstdint>

#include "afx/Clock.h"
#include "device/BreakInfo.h"
#include "fuzz/FuzzIo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  afx::VirtualClock clock;
  afx::ScopedClock scoped(clock);
  FuzzIo io(data, size, 3);
  CBreakInfo info;
  if (const std::optional<CString> text = info.GetRawBreakData(io)) info.ParsePacketData(text->c_str());
  return 0;
}
