// The newer radio's settings dictionary as it comes through the pipe.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "operations/PB2Dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CPB2Dictionary reply;
  reply.LoadReply(data, size);
  CPB2Dictionary d;
  if (!d.Load(data, size)) return 0;
  // What loaded encodes to the very bytes it came from and loads to the same settings.
  const std::vector<BYTE> bytes = d.Encode();
  if (bytes.size() != size || !std::equal(bytes.begin(), bytes.end(), data)) std::abort();
  CPB2Dictionary again;
  if (!again.Load(bytes.data(), bytes.size()) || !(again == d)) std::abort();
  // An edit keeps the dictionary loadable.
  again.SetTransmitPower(0);
  again.SetChannelCode(768);
  again.SetTable(CPB2Dictionary::kTransmitTable, {450125000, 451000000});
  const std::vector<BYTE> edited = again.Encode();
  CPB2Dictionary third;
  if (!third.Load(edited.data(), edited.size()) || !(third == again)) std::abort();
  return 0;
}
