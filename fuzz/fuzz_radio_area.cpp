// The radio area's dictionary and the spacing-code answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "operations/ERODictionary.h"
#include "operations/RadioCfgOperation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CRadioCfgOperation::DecodeSpacingList(data, static_cast<UINT>(size));
  CERODictionary::CheckBlock(data, size);
  CERODictionary d;
  if (!d.Load(data, size)) return 0;
  // What loaded must store into the same room and load to the same values.
  std::vector<BYTE> copy(data, data + size);
  CERODictionary again;
  if (!d.Store(copy.data(), copy.size()) || !again.Load(copy.data(), copy.size())) std::abort();
  for (const auto& e : d.Entries())
    if (again.Get(e.id, ~e.value) != e.value) std::abort();
  return 0;
}
