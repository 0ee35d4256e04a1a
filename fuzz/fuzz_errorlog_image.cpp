// The error-log image decoder on arbitrary memory contents.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/GarnexException.h"
#include "operations/ErrorLogMgr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the byte order; the rest is the image, copied so
  // that a read past its end is caught.
  const bool hostOrder = (data[0] & 1) != 0;
  const std::vector<std::uint8_t> image(data + 1, data + size);
  CErrorLogMgr log;
  try {
    log.DecodeImage(image.data(), image.size(), hostOrder);
  } catch (const CGarnexException& e) {
    if (e.GetCode() != 713 || log.GetCount() != 0) __builtin_trap();
    return 0;
  }
  for (int i = 0; i < log.GetCount(); ++i) {
    const CErrorLogEntry* entry = log.GetAt(i);
    if (entry->IsValid() || entry->IsDeleted()) entry->GetSummary();
  }
  if (log.GetValidCount() > log.GetCount()) __builtin_trap();
  return 0;
}
