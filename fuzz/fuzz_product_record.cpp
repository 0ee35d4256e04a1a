// Arbitrary bytes as the receiver's product record and as an image's identity
// block: only the exact sizes are taken, and no text runs past its field.
#include <cstdint>
#include <cstdlib>

#include "device/GarnexEmbeddedInfo.h"
#include "device/GarnexInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CGarnexInfo info;
  const bool filled = info.FillOutProductInfo(data, static_cast<DWORD>(size));
  if (filled != (size == CGarnexInfo::kRecordSize)) std::abort();
  if (filled) {
    if (info.GetSerialNumber().size() > 32 || info.GetProductName().size() > 40 || info.GetOwnerStrOne().size() > 36 ||
        info.GetOwnerStrTwo().size() > 36)
      std::abort();
    if (info.GetFeatures().size() > CGarnexInfo::kFeatureCount) std::abort();
    info.HasFeature("Data Logging");
  }
  CGarnexEmbeddedInfo block;
  const bool parsed = block.Parse(data, static_cast<DWORD>(size));
  if (parsed && (size != CGarnexEmbeddedInfo::kSize || block.GetName().size() != 7)) std::abort();
  if (filled && parsed) std::abort();
  return 0;
}
