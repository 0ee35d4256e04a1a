// The error-log entry decoders (replies and image records) on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "operations/ErrorEntryText.h"
#include "operations/ErrorLogEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int selector = data[0];
  const std::vector<std::uint8_t> bytes(data + 1, data + size);
  CErrorLogEntry entry(CErrorLogEntry::kShortFormat, static_cast<BYTE>(selector >> 7));
  entry.m_nUtcOffset = static_cast<BYTE>(selector);
  bool ok = false;
  switch (selector % 4) {
    case 0: ok = entry.DecodeReply(bytes.data(), bytes.size()); break;
    default: ok = entry.DecodeRecord(bytes.data(), bytes.size(), selector % 4); break;
  }
  if (!ok && entry.m_nState != CErrorLogEntry::kStateErased) __builtin_trap();
  if (entry.GetTraceLength() > CErrorLogEntry::kTraceCount) __builtin_trap();
  if (entry.GetUserDataShown() > CErrorLogEntry::kUserDataSize) __builtin_trap();
  const CErrorEntryText text(entry);
  text.GetBlock();
  entry.GetSummary();
  return 0;
}
