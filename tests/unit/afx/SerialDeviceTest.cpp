// The read loop's time-out rules and deferred input, on a scheduled device
// and the virtual clock; in real time on a pseudo-terminal, the termios
// backend's wait for the input a caller expects, its time-outs under a scaled
// clock and what the far end gets of what was written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "afx/TranscriptRecorder.h"
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
    int deferMs = 0;  // DeferInput before the read
  };
  const Case cases[] = {
      {"first byte wait, nothing comes", {M, M, 2000, 0, 0}, {}, 1, 0, 2000},
      {"first byte wait, returns on the first byte", {M, M, 2000, 0, 0}, {{300, 1}, {400, 2}}, 4, 1, 300},
      {"first byte wait, buffered bytes return at once", {M, M, 2000, 0, 0}, {{0, 1}, {0, 2}, {50, 3}}, 4, 2, 0},
      {"return at once", {M, 0, 0, 0, 0}, {{10, 1}}, 1, 0, 0},
      {"total time-out", {0, 10, 100, 0, 0}, {{20, 1}, {500, 2}}, 4, 1, 140},
      {"total time-out, all bytes in time", {0, 10, 100, 0, 0}, {{20, 1}, {30, 2}}, 2, 2, 30},
      {"interval time-out after the first byte", {50, 0, 0, 0, 0}, {{200, 1}, {220, 2}, {400, 3}}, 3, 2, 270},
      {"deferred: input already there waits out the deferral", {M, M, 2000, 0, 0}, {{0, 1}}, 1, 1, 2, 2},
      {"deferred: input after the deferral is taken when it comes", {M, M, 2000, 0, 0}, {{30, 1}}, 1, 1, 30, 2},
      {"deferred: the time-out runs from the end of the deferral", {M, M, 2000, 0, 0}, {}, 1, 0, 2002, 2},
      {"deferred: return at once with what came meanwhile", {M, 0, 0, 0, 0}, {{1, 1}, {3, 2}}, 2, 1, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    afx::VirtualClock clock;
    afx::ScopedClock scope(clock);
    ScheduledDevice device;
    for (auto [ms, b] : c.arrivals) device.Arrive(std::int64_t{ms} * 1'000'000, static_cast<std::uint8_t>(b));
    device.SetTimeouts(c.timeouts);
    if (c.deferMs) device.DeferInput(std::int64_t{c.deferMs} * 1'000'000);
    std::uint8_t buffer[8] = {};
    DWORD got = 99;
    ASSERT_TRUE(device.Read(buffer, c.ask, &got));
    EXPECT_EQ(got, c.wantGot);
    EXPECT_EQ(clock.NowNs() / 1'000'000, c.wantElapsedMs);
  }
}

namespace {

// The termios backend on the slave side of `pty`, at the default line
// settings; null when any of that fails.
std::unique_ptr<afx::SerialDevice> OpenSlave(const testsupport::PtyPair& pty) {
  DWORD error = 0;
  std::unique_ptr<afx::SerialDevice> port;
  if (!pty.Slave().empty()) port = afx::OpenSystemSerialDevice(pty.Slave(), &error);
  if (port && !port->SetLineSettings(afx::LineSettings{})) port.reset();
  return port;
}

}  // namespace

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
    std::unique_ptr<afx::SerialDevice> port = OpenSlave(pty);
    ASSERT_TRUE(port);
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

// A reply that trickles in a byte at a time is taken in one go once the
// caller says how much it expects, also through the transcript recorder; a
// shorter one is not held past its end, and no expectation keeps a read
// beyond its time-out.
TEST(SerialDeviceReadTest, ExpectedInputIsAwaitedWithinTheReadsTimeOut) {
  const struct {
    const char* what;
    DWORD baud, expect, sent, timeoutMs;
    DWORD minGot;
    long maxMs;
    bool transcribed = false;
  } cases[] = {
      {"eleven bytes a millisecond apart", 9600, 11, 11, 2000, 2, 1000},
      {"the same through a transcript", 9600, 11, 11, 2000, 2, 1000, true},
      {"a lone byte where six were expected", 9600, 6, 1, 2000, 1, 500},
      {"a large expectation at a slow speed", 300, 1000, 1, 200, 1, 700},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    DWORD error = 0;
    std::unique_ptr<afx::SerialDevice> device = afx::OpenSystemSerialDevice(::ptsname(master), &error);
    ASSERT_TRUE(device) << error;
    if (c.transcribed)
      device = afx::TranscriptRecorder::Create([](const std::string&) { return true; })->Wrap(std::move(device));
    afx::LineSettings settings;
    settings.baudRate = c.baud;
    ASSERT_TRUE(device->SetLineSettings(settings));
    device->SetTimeouts({afx::MAXDWORD, afx::MAXDWORD, c.timeoutMs, 0, 0});
    device->ExpectInput(c.expect);
    std::thread sender([&] {
      // The reply starts after the read has begun waiting, as it does after a request.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (DWORD i = 0; i < c.sent; ++i) {
        const BYTE b = static_cast<BYTE>(i + 1);
        if (::write(master, &b, 1) != 1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    BYTE buffer[64] = {};
    DWORD got = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device->Read(buffer, c.sent, &got));
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    sender.join();
    EXPECT_GE(got, c.minGot);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_LE(ms, c.maxMs);
    device->Close();
    ::close(master);
  }
}

// Under --time-scale the afx clock runs ten times faster than real time, and
// the waits the system times for a device (poll) must last a tenth as long:
// a read that nothing answers and a write that nothing takes end at their
// time-outs of the clock, in a fifth of a second of real time, not two.
TEST(SerialDeviceOnPseudoTerminal, TimeOutsFollowAScaledClock) {
  const struct {
    const char* what;
    bool write;
  } cases[] = {{"a read that nothing answers", false}, {"a write that nothing takes", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::PtyPair pty;
    std::unique_ptr<afx::SerialDevice> port = OpenSlave(pty);
    ASSERT_TRUE(port);
    port->SetTimeouts({afx::MAXDWORD, afx::MAXDWORD, 2000, 0, 2000});
    afx::ScaledClock clock(10);
    afx::ScopedClock scope(clock);
    const std::int64_t clockStart = clock.NowNs();
    const auto realStart = std::chrono::steady_clock::now();
    std::vector<BYTE> buffer(c.write ? 1 << 20 : 1);
    DWORD done = 0;
    if (c.write) {
      EXPECT_TRUE(port->Write(buffer.data(), static_cast<DWORD>(buffer.size()), &done));
      EXPECT_LT(done, buffer.size());
    } else {
      EXPECT_TRUE(port->Read(buffer.data(), 1, &done));
      EXPECT_EQ(done, 0u);
    }
    const auto realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart).count();
    EXPECT_GE(clock.NowNs() - clockStart, 2'000'000'000);
    EXPECT_LT(realMs, 800);
    port->Close();
  }
}
