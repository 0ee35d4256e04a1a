// The read loop's time-out rules, on a scheduled device and the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "support/ScheduledDevice.h"

TEST(SerialDeviceReadTest, TimeoutRules) {
  constexpr DWORD M = afx::MAXDWORD;
  struct Case {
    const char* name;
    afx::COMMTIMEOUTS timeouts;
    std::vector<std::pair<int, int>> arrivals;  // (ms, byte)
    DWORD ask;
    DWORD wantGot;
    int wantElapsedMs;
  };
  const Case cases[] = {
      {"first byte wait, nothing comes", {M, M, 2000, 0, 0}, {}, 1, 0, 2000},
      {"first byte wait, returns on the first byte", {M, M, 2000, 0, 0}, {{300, 1}, {400, 2}}, 4, 1, 300},
      {"first byte wait, buffered bytes return at once", {M, M, 2000, 0, 0}, {{0, 1}, {0, 2}, {50, 3}}, 4, 2, 0},
      {"return at once", {M, 0, 0, 0, 0}, {{10, 1}}, 1, 0, 0},
      {"total time-out", {0, 10, 100, 0, 0}, {{20, 1}, {500, 2}}, 4, 1, 140},
      {"total time-out, all bytes in time", {0, 10, 100, 0, 0}, {{20, 1}, {30, 2}}, 2, 2, 30},
      {"interval time-out after the first byte", {50, 0, 0, 0, 0}, {{200, 1}, {220, 2}, {400, 3}}, 3, 2, 270},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    afx::VirtualClock clock;
    afx::ScopedClock scope(clock);
    ScheduledDevice device;
    for (auto [ms, b] : c.arrivals) device.Arrive(std::int64_t{ms} * 1'000'000, static_cast<std::uint8_t>(b));
    device.SetTimeouts(c.timeouts);
    std::uint8_t buffer[8] = {};
    DWORD got = 99;
    ASSERT_TRUE(device.Read(buffer, c.ask, &got));
    EXPECT_EQ(got, c.wantGot);
    EXPECT_EQ(clock.NowNs() / 1'000'000, c.wantElapsedMs);
  }
}
