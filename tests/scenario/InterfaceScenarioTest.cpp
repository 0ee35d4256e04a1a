// Interface requests that no operation test reaches in full, against the virtual receiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/SimScenario.h"

namespace {

const char* const kDeviceKey = "SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710";

}  // namespace

TEST(InterfaceScenario, TurnOffOutputsOnlyWhenAskedTo) {
  struct Case {
    const char* name;
    const char* value;  // nullptr: no device key at all
    bool result;
    int requests;
  };
  const Case cases[] = {
      {"no key", nullptr, false, 0},
      {"not wanted", "FALSE", true, 0},
      {"lower case is not TRUE", "true", true, 0},
      // The current rate, then 38400, 115200, 57600 and 19200.
      {"wanted", "TRUE", true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s;
    if (c.value) {
      ASSERT_TRUE(testsupport::TestRegistry::SetString(kDeviceKey, "TurnOffOutputs", c.value));
    }
    test::Connection link(s);
    EXPECT_EQ(link.device.TurnOffOutputs(), c.result);
    // Only the frame at the receiver's own rate reaches it as a request.
    int heard = 0;
    for (int type : s.Requests()) heard += type == 0x51;
    EXPECT_EQ(heard, c.requests > 0 ? 1 : 0);
    EXPECT_EQ(s.Receiver().OutputsOff(), c.requests > 0);
    const auto bytes = s.HostBytes();
    const std::vector<std::uint8_t> head = {0x02, 0x00, 0x51, 0x02, 0x0A, 0xFF};
    int sent = 0;
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), head.begin(), head.end())) != bytes.end(); ++at)
      ++sent;
    EXPECT_EQ(sent, c.requests);
    // The port is left at the rate it had, whatever rates were tried.
    EXPECT_EQ(link.port.GetBaudRate(), 9600u);
  }
}

TEST(InterfaceScenario, ResetWithModeSendsOnlyKnownModes) {
  const std::pair<int, bool> modes[] = {{-1, false}, {0, true}, {1, true}, {2, true}, {3, true}, {4, false}};
  for (const auto& [mode, sends] : modes) {
    SCOPED_TRACE(mode);
    test::SimScenario s;
    test::Connection link(s);
    const double start = s.Seconds();
    link.device.ResetWithMode(mode);
    if (sends) {
      EXPECT_EQ(s.Receiver().ResetModes(), std::vector<int>{mode});
      // The receiver is given two minutes before it is looked for again.
      EXPECT_GE(s.Seconds() - start, 120.0);
      const std::vector<std::uint8_t> frame = {0x02, 0x00, 0x58, 0x07, 0xFF, static_cast<std::uint8_t>(mode),
                                               'R',  'E',  'S',  'E',  'T',  static_cast<std::uint8_t>(0xE1 + mode),
                                               0x03};
      EXPECT_TRUE(s.HostSent(frame));
    } else {
      EXPECT_TRUE(s.HostBytes().empty());
      EXPECT_TRUE(s.Receiver().ResetModes().empty());
    }
  }
}
