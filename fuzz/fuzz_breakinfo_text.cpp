// The break-info reply parser on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/BreakInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CBreakInfo info;
  const bool ok = info.ParsePacketData(text.c_str());
  // A text that does not parse must leave the record as it was.
  if (!ok && (info.GetProductName() != "NoSuchProduct" || info.GetPortNumber() != -1)) __builtin_trap();
  if (ok) {
    info.GetBaudRate();
    info.GetProductKind();
  }
  return 0;
}
