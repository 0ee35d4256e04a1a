// CSerialInterface against a real pseudo-terminal pair (the termios backend)
// and against a scripted device (time-outs and line settings on the virtual clock).
#include <asm/termbits.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "afx/Registry.h"
#include "port/SerialInterface.h"
#include "support/PluginTestEnv.h"
#include "support/PtyPair.h"
#include "support/ScriptedIo.h"
#include "support/TestRegistry.h"

namespace {

// What `f` throws; code 0 when it throws nothing.
template <typename F>
CSerialComException Thrown(F&& f) {
  try {
    f();
  } catch (const CSerialComException& e) {
    return e;
  }
  return CSerialComException(0, 0);
}

// A pseudo-terminal whose slave is mapped to a COM number in a throw-away registry.
class PtyPort : public testsupport::PtyPair {
 public:
  PtyPort() : com_(Slave().empty() ? 0 : afx::MapDevicePathToComPort(Slave(), 1)) {}

  bool Ok() const { return com_ > 0; }
  UINT Com() const { return static_cast<UINT>(com_); }
  // The slave's settings, as the kernel holds them.
  termios2 Settings() const {
    termios2 tio{};
    ioctl(Master(), TCGETS2, &tio);
    return tio;
  }
  std::string Receive(size_t count) const { return PtyPair::Receive(count, 200); }

 private:
  int com_;
};

class SerialPtyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty_.Ok()) << "no pseudo-terminal or registry"; }

  test::PluginStrings strings_;
  testsupport::TestRegistry registry_;  // before the port, which maps its COM number into it
  PtyPort pty_;
};

TEST_F(SerialPtyTest, OpenAppliesLineSettingsAndSettersReachTheDevice) {
  CSerialInterface port;
  port.Open(pty_.Com(), 1, 0, 0, 6);
  ASSERT_TRUE(port.IsOpen());
  EXPECT_EQ(port.GetPortNumber(), pty_.Com());
  EXPECT_EQ(port.GetDeviceName(), "COM" + std::to_string(pty_.Com()));

  termios2 tio = pty_.Settings();
  EXPECT_EQ(tio.c_ospeed, 9600u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);

  // A pseudo-terminal always runs 8 data bits without parity, so those two
  // setters are checked against the scripted device below.
  struct Case {
    const char* what;
    std::function<void()> set;
    std::function<bool(const termios2&)> holds;
  };
  const Case cases[] = {
      {"256000 (index 14)", [&] { port.SetBaudIndex(14); }, [](const termios2& t) { return t.c_ospeed == 256000; }},
      {"230400 (index 15)", [&] { port.SetBaudIndex(15); }, [](const termios2& t) { return t.c_ospeed == 230400; }},
      {"14400 (index 7)", [&] { port.SetBaudIndex(7); }, [](const termios2& t) { return t.c_ospeed == 14400; }},
      {"56000 (index 10)", [&] { port.SetBaudIndex(10); }, [](const termios2& t) { return t.c_ospeed == 56000; }},
      {"128000 by rate", [&] { port.SetBaudRate(128000); }, [](const termios2& t) { return t.c_ospeed == 128000; }},
      {"two stop bits", [&] { port.SetStopBits(2); }, [](const termios2& t) { return (t.c_cflag & CSTOPB) != 0; }},
      {"one stop bit", [&] { port.SetStopBits(0); }, [](const termios2& t) { return (t.c_cflag & CSTOPB) == 0; }},
      {"XON/XOFF", [&] { port.SetFlowControl(4); },
       [](const termios2& t) { return (t.c_iflag & IXON) && (t.c_iflag & IXOFF); }},
      {"no flow control", [&] { port.SetFlowControl(0); },
       [](const termios2& t) { return !(t.c_iflag & (IXON | IXOFF)) && !(t.c_cflag & CRTSCTS); }},
  };
  for (const Case& c : cases) {
    c.set();
    EXPECT_TRUE(c.holds(pty_.Settings())) << c.what;
  }
  EXPECT_EQ(port.GetBaudRate(), 128000u);
  port.Close();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.GetPortNumber(), 0u);
}

TEST_F(SerialPtyTest, SecondOpenOfABusyPortFailsWith301AndTheFirstStaysUsable) {
  CSerialInterface first;
  first.Open(pty_.Com(), 1, 0, 0, 6);
  CSerialInterface second;
  const CSerialComException e = Thrown([&] { second.Open(pty_.Com(), 1, 0, 0, 6); });
  EXPECT_EQ(e.GetErrorCode(), 301u);
  EXPECT_EQ(e.GetPortNumber(), pty_.Com());
  EXPECT_NE(e.GetMessage().find("COM" + std::to_string(pty_.Com()) + "."), std::string::npos) << e.GetMessage();
  EXPECT_FALSE(second.IsOpen());

  first.Write(reinterpret_cast<const BYTE*>("ok"), 2);
  EXPECT_EQ(pty_.Receive(2), "ok");

  // Once the first lets go, the port can be opened again.
  first.Close();
  second.Open(pty_.Com(), 1, 0, 0, 6);
  EXPECT_TRUE(second.IsOpen());
}

// Rounds of: a holder process opens the port and blocks; every other open is
// refused with 301 and leaves the port closed; the holder is killed without a
// chance to close, and the next open must succeed. The first fault found, or
// an empty text.
std::string HolderRounds(UINT com, int rounds, int attempts) {
  for (int round = 0; round < rounds; ++round) {
    const std::string where = "round " + std::to_string(round) + ": ";
    int ready[2], hold[2];
    if (::pipe(ready) != 0 || ::pipe(hold) != 0) return where + "no pipe";
    const pid_t holder = ::fork();
    if (holder < 0) return where + "no fork";
    if (holder == 0) {
      ::close(ready[0]);
      ::close(hold[1]);
      char status = 0;
      try {
        CSerialInterface port;
        port.Open(com, 1, 0, 0, 6);
        status = 1;
        if (::write(ready[1], &status, 1) != 1) ::_exit(2);
        if (::read(hold[0], &status, 1) < 0) ::_exit(4);  // blocks until killed
      } catch (...) {
        if (::write(ready[1], &status, 1) < 0) ::_exit(5);
      }
      ::_exit(3);
    }
    ::close(ready[1]);
    ::close(hold[0]);
    char opened = 0;
    const bool holding = ::read(ready[0], &opened, 1) == 1 && opened == 1;
    int refused = 0, leftOpen = 0;
    for (int i = 0; holding && i < attempts; ++i) {
      CSerialInterface second;
      try {
        second.Open(com, 1, 0, 0, 6);
      } catch (const CSerialComException& e) {
        refused += e.GetErrorCode() == 301u;
      }
      leftOpen += second.IsOpen();
    }
    ::kill(holder, SIGKILL);
    int status = 0;
    const bool reaped = ::waitpid(holder, &status, 0) == holder && WIFSIGNALED(status);
    ::close(ready[0]);
    ::close(hold[1]);
    if (!holding) return where + "the holder could not open the port";
    if (refused != attempts || leftOpen != 0)
      return where + std::to_string(refused) + " of " + std::to_string(attempts) + " opens refused with 301, " +
             std::to_string(leftOpen) + " left open";
    if (!reaped) return where + "the holder was not killed";
    CSerialInterface next;
    try {
      next.Open(com, 1, 0, 0, 6);
    } catch (const CSerialComException& e) {
      return where + "the open after the kill failed: " + e.GetMessage();
    }
    if (!next.IsOpen()) return where + "the open after the kill left the port closed";
  }
  return {};
}

// The holder is another process, killed without a chance to close: the
// kernel's release of its descriptor must free the port for the next open.
// The same holds for an unprivileged user, whom the kernel's exclusive flag
// binds (root passes it): run as root, the rounds are repeated by a child that
// drops to the unprivileged "nobody" after handing it the terminal and the registry.
TEST_F(SerialPtyTest, APortHeldByAnotherProcessIsRefusedEveryTimeUntilTheHolderIsKilled) {
  EXPECT_EQ(HolderRounds(pty_.Com(), 3, 25), "");
  if (::geteuid() != 0) return;  // already unprivileged
  constexpr uid_t kNobody = 65534;
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    std::string fault;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(registry_.Dir().Path(), ec))
      if (::chown(entry.path().c_str(), kNobody, kNobody) != 0) fault = "cannot hand over " + entry.path().string();
    if (::chown(registry_.Dir().Path().c_str(), kNobody, kNobody) != 0 || ::chown(pty_.Slave().c_str(), kNobody, kNobody) != 0 ||
        ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      fault = "cannot become nobody";
    if (fault.empty()) fault = HolderRounds(pty_.Com(), 3, 25);
    if (::write(report[1], fault.data(), fault.size()) < 0) ::_exit(2);
    ::_exit(fault.empty() ? 0 : 1);
  }
  ::close(report[1]);
  std::string fault;
  char buffer[512];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) fault.append(buffer, static_cast<size_t>(n));
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(fault, "") << "as nobody";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(SerialPtyTest, ReadsServeBufferedBytesTimeOutOnAQuietLineAndPurgeDropsWhatIsAsked) {
  CSerialInterface port;
  port.Open(pty_.Com(), 1, 0, 0, 12);
  port.SetTimeouts(150, CSerialInterface::kKeepTimeout);

  pty_.Send("abc");
  BYTE b = 0;
  std::string got;
  for (int i = 0; i < 3 && port.ReadByte(&b); ++i) got += static_cast<char>(b);
  EXPECT_EQ(got, "abc");

  const DWORD start = GetTickCount();
  EXPECT_FALSE(port.ReadByte(&b));
  const DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 140u);
  EXPECT_LT(waited, 1500u) << "the read ignored its 150 ms time-out";

  struct Case {
    bool output, input;
    bool inputKept;
  };
  const Case cases[] = {{false, false, true}, {true, false, true}, {false, true, false}, {true, true, false}};
  for (const Case& c : cases) {
    pty_.Send("x");
    ASSERT_TRUE(port.ReadByte(&b));  // the line is live
    pty_.Send("yz");
    Sleep(30);  // the kernel hands pseudo-terminal input over asynchronously
    port.Purge(c.output, c.input);
    const bool kept = port.ReadByte(&b);
    EXPECT_EQ(kept, c.inputKept) << c.output << c.input;
    if (kept) {
      EXPECT_EQ(b, 'y');
      port.FlushInput();
    }
  }
}

TEST(SerialInterface, OpenOfAMissingPortThrows301NamingThePort) {
  test::PluginStrings strings;
  CSerialInterface port;
  const CSerialComException e = Thrown([&] { port.Open(977, 1, 0, 0, 6); });  // /dev/ttyS976 does not exist
  EXPECT_EQ(e.GetErrorCode(), 301u);
  EXPECT_EQ(e.GetPortNumber(), 977u);
  EXPECT_EQ(e.GetMessage(), "COM Failure! [301] There was a failure [2] attempting to open COM977.\n\nRestart your "
                            "computer and try again.");
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.GetPortNumber(), 0u);
}

// --- Over a scripted device, on the virtual clock ---------------------------

class SerialScriptedTest : public ::testing::Test {
 protected:
  void AttachAt(int baudIndex) {
    record_ = std::make_shared<test::DeviceRecord>();
    port_.Attach(std::make_unique<test::ScriptedSerialDevice>(record_), 4, 1, 0, 0, baudIndex);
  }
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::PluginStrings strings_;
  std::shared_ptr<test::DeviceRecord> record_;
  CSerialInterface port_;
};

TEST_F(SerialScriptedTest, WriteAllowanceDependsOnTheOpeningSpeedAndKeepMarksKeep) {
  const std::pair<int, DWORD> cases[] = {{0, 174}, {6, 2}, {7, 1}, {8, 1}, {9, 0}, {12, 0}, {16, 0}};
  afx::COMMTIMEOUTS t;
  for (const auto& [baudIndex, perByteMs] : cases) {
    AttachAt(baudIndex);
    ASSERT_TRUE(port_.GetTimeouts(&t));
    EXPECT_EQ(std::make_tuple(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, t.ReadTotalTimeoutConstant),
              std::make_tuple(perByteMs, 2000u, 2000u))
        << baudIndex;
  }
  port_.SetTimeouts(CSerialInterface::kKeepTimeout, 5000);
  port_.SetTimeouts(300, CSerialInterface::kKeepTimeout);
  ASSERT_TRUE(port_.GetTimeouts(&t));
  EXPECT_EQ(std::make_pair(t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutConstant), std::make_pair(300u, 5000u));
}

TEST_F(SerialScriptedTest, AReadWaitsTwoSecondsForTheFirstByteThenReturnsWhatCame) {
  AttachAt(6);
  BYTE buf[4] = {};
  std::int64_t start = clock_.NowNs();
  EXPECT_EQ(port_.Read(buf, 1), 0u);
  EXPECT_EQ(clock_.NowNs() - start, 2'000'000'000);

  record_->line.Feed(test::B({0x41, 0x42}), 500);
  start = clock_.NowNs();
  EXPECT_EQ(port_.Read(buf, 4), 2u);
  EXPECT_EQ(clock_.NowNs() - start, 500'000'000);
  EXPECT_EQ(std::make_pair(buf[0], buf[1]), std::make_pair(BYTE{0x41}, BYTE{0x42}));
}

TEST_F(SerialScriptedTest, HighestBaudRateIsTheFastestSupportedOf460800_230400_115200) {
  const std::pair<std::vector<DWORD>, DWORD> cases[] = {
      {{}, 460800}, {{460800}, 230400}, {{460800, 230400}, 115200}, {{460800, 230400, 115200}, 38400}};
  for (const auto& [unsupported, highest] : cases) {
    record_ = std::make_shared<test::DeviceRecord>();
    record_->unsupportedSpeeds = unsupported;
    port_.Attach(std::make_unique<test::ScriptedSerialDevice>(record_), 4, 1, 0, 0, 6);
    EXPECT_EQ(port_.GetHighestBaudRate(), highest);
  }
}

TEST_F(SerialScriptedTest, FailuresThrowTheirCodesAndSettingsFailuresClose) {
  AttachAt(6);
  // RTS enabled, DTR disabled after open
  EXPECT_EQ(std::make_pair(record_->current.rtsControl, record_->current.dtrControl), std::make_pair(BYTE{1}, BYTE{0}));

  record_->line.failWrites = 1;
  const CSerialComException write = Thrown([&] { port_.WriteByte(0x55); });
  EXPECT_EQ(write.GetMessage(), "COM Failure! [304] There was a fatal error [31] with COM4.\n\nRestart your computer and "
                                "try again.");
  record_->line.FeedFailure();
  BYTE b;
  EXPECT_EQ(Thrown([&] { port_.ReadByte(&b); }).GetErrorCode(), 303u);
  EXPECT_TRUE(port_.IsOpen()) << "read and write failures leave the port open";

  record_->failSettings = true;
  const CSerialComException e = Thrown([&] { port_.SetBaudIndex(12); });
  EXPECT_EQ(std::make_pair(e.GetErrorCode(), e.GetPortNumber()), std::make_pair(302u, 4u));
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_TRUE(record_->closed);

  AttachAt(6);
  EXPECT_THROW(port_.SetBaudIndex(17), CSerialComException);
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(CSerialComException(300, 4, 31).GetMessage(), "COM Port Failure!");
}

TEST_F(SerialScriptedTest, EachLineSetterChangesOnlyItsOwnField) {
  AttachAt(6);
  port_.SetDataBits(0);
  port_.SetParity(3);
  port_.SetStopBits(1);
  port_.SetBaudIndex(13);
  const afx::LineSettings& s = record_->current;
  EXPECT_EQ(std::make_tuple(s.byteSize, s.parity, s.stopBits, s.baudRate), std::make_tuple(7, 3, 1, 128000u));
  EXPECT_EQ(std::make_tuple(port_.GetDataBits(), port_.GetParity(), port_.GetStopBits()), std::make_tuple(7, 3, 1));
  struct Case {
    BYTE flags;
    bool dsr, cts, xonXoff;
    BYTE dtr, rts;
  };
  const Case cases[] = {{0, false, false, false, 0, 1}, {1, true, false, false, 2, 1},
                        {2, false, true, false, 0, 2}, {4, false, false, true, 0, 1},
                        {7, true, true, true, 2, 2}};
  for (const Case& c : cases) {
    port_.SetFlowControl(c.flags);
    EXPECT_EQ(std::make_tuple(s.outxDsrFlow, s.outxCtsFlow, s.outX, s.inX, s.dtrControl, s.rtsControl),
              std::make_tuple(c.dsr, c.cts, c.xonXoff, c.xonXoff, c.dtr, c.rts))
        << int(c.flags);
    EXPECT_EQ(s.byteSize, 7) << "flow control kept the data bits";
  }
}

TEST_F(SerialScriptedTest, SendBreakHoldsTheBreakBetweenTwoQuietSpells) {
  AttachAt(6);
  std::int64_t raisedAt = -1;
  record_->onBreak = [&](test::ScriptedLine&) { raisedAt = clock_.NowNs(); };
  const std::int64_t start = clock_.NowNs();
  port_.SendBreak(350);
  EXPECT_EQ(raisedAt - start, 350'000'000);
  EXPECT_EQ(clock_.NowNs() - start, 700'000'000);
  EXPECT_EQ(record_->breaks, (std::vector<bool>{true, false}));
}

}  // namespace
