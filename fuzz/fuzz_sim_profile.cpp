// The virtual receiver's profile reader on arbitrary text: it must refuse or
// accept without crashing, and an accepted profile must build a receiver.
#include <cstddef>
#include <cstdint>
#include <string>

#include "afx/Clock.h"
#include "sim/Profile.h"
#include "sim/VirtualReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::Profile profile;
  std::string error;
  if (sim::Profile::Parse(std::string(reinterpret_cast<const char*>(data), size), &profile, &error)) {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    sim::VirtualReceiver receiver(profile);
    receiver.RunUntil(1'000'000'000);
    (void)receiver.ProductRecord();
    (void)receiver.ErrorLogImage();
  }
  return 0;
}
