// The read loop's time-out rules, on a scheduled device and the virtual
// clock; what a pseudo-terminal's far end gets of what was written.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "support/PtyPair.h"
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

// A write that returned is the other side's, whatever follows it: a peer
// that reads only after the port was purged and closed still gets every
// byte. A backlog larger than the peer's read buffer keeps the last frame in
// the terminal's queue until the peer reads, where an output flush would
// take it back.
TEST(SerialDeviceOnPseudoTerminal, WrittenBytesReachAPeerThatReadsOnlyAfterTheClose) {
  const std::uint8_t reset[] = {0x02, 0x00, 0x58, 0x07, 0xFF, 0x00, 'R', 'E', 'S', 'E', 'T', 0xE1, 0x03};
  std::string sent(8192, 'x');
  sent.append(reinterpret_cast<const char*>(reset), sizeof reset);
  const struct {
    const char* name;
    DWORD purge;
  } cases[] = {
      {"close", 0},
      {"output purge, close", afx::PURGE_TXABORT | afx::PURGE_TXCLEAR},
      {"purge both ways, close",
       afx::PURGE_TXABORT | afx::PURGE_TXCLEAR | afx::PURGE_RXABORT | afx::PURGE_RXCLEAR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::PtyPair pty;
    ASSERT_FALSE(pty.Slave().empty());
    DWORD error = 0;
    std::unique_ptr<afx::SerialDevice> port = afx::OpenSystemSerialDevice(pty.Slave(), &error);
    ASSERT_TRUE(port) << error;
    ASSERT_TRUE(port->SetLineSettings(afx::LineSettings{}));
    DWORD written = 0;
    ASSERT_TRUE(port->Write(sent.data(), static_cast<DWORD>(sent.size()), &written));
    ASSERT_EQ(written, sent.size());
    if (c.purge) {
      EXPECT_TRUE(port->Purge(c.purge));
    }
    port->Close();
    EXPECT_EQ(pty.Receive(sent.size(), 500), sent);
  }
}
