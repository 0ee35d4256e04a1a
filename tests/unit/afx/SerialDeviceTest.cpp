// The read loop's time-out rules, on a scripted device and the virtual clock.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"

namespace {

// Bytes arrive at scheduled virtual times.
class ScheduledDevice : public afx::SerialDevice {
 public:
  void Arrive(std::int64_t atMs, std::uint8_t byte) { pending_.push_back({atMs * 1'000'000, byte}); }
  std::string Path() const override { return "test:"; }
  bool SetLineSettings(const afx::LineSettings&) override { return true; }
  bool GetLineSettings(afx::LineSettings*) override { return true; }
  bool IsSpeedSupported(DWORD) override { return true; }
  bool Purge(DWORD) override { return true; }
  bool SetBreak(bool) override { return true; }
  bool EscapeFunction(DWORD) override { return true; }
  bool ClearError(DWORD*) override { return true; }
  bool Write(const void*, DWORD count, DWORD* written) override {
    *written = count;
    return true;
  }
  void Close() override {}

 protected:
  bool ReadAvailable(std::uint8_t* out, DWORD max, DWORD* got) override {
    *got = 0;
    const std::int64_t now = afx::GetClock().NowNs();
    while (*got < max && !pending_.empty() && pending_.front().first <= now) {
      out[(*got)++] = pending_.front().second;
      pending_.pop_front();
    }
    return true;
  }
  bool WaitReadable(std::int64_t deadline) override {
    std::int64_t until = deadline;
    if (!pending_.empty() && pending_.front().first < until) until = pending_.front().first;
    afx::GetClock().SleepUntilNs(until);
    return true;
  }

 private:
  std::deque<std::pair<std::int64_t, std::uint8_t>> pending_;
};

}  // namespace

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
    for (auto [ms, b] : c.arrivals) device.Arrive(ms, static_cast<std::uint8_t>(b));
    device.SetTimeouts(c.timeouts);
    std::uint8_t buffer[8] = {};
    DWORD got = 99;
    ASSERT_TRUE(device.Read(buffer, c.ask, &got));
    EXPECT_EQ(got, c.wantGot);
    EXPECT_EQ(clock.NowNs() / 1'000'000, c.wantElapsedMs);
  }
}
