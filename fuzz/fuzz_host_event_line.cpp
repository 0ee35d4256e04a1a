// The reading of a run's JSON events, as a run on several ports reads those
// of the talvern it started for each port, on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "hostlib/EventLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  EventLine e;
  if (EventLine::Parse(line, &e)) {
    (void)e.Text("text");
    (void)e.Number("percent");
    (void)e.Texts("kinds");
    (void)e.Flag("open");
    EventLine again;
    if (!EventLine::Parse(EventLine::WithField(line, "port", e.Text("event")), &again)) __builtin_trap();
  }
  return 0;
}
