// The virtual receiver as a host sees it: timing on the virtual clock, line
// settings that must match, restarts, the fault rules and determinism. What it
// answers to each request is checked by the scenario suite, through the plug-in.
#include <gtest/gtest.h>

#include "SimHost.h"
#include "sim/SimLine.h"

namespace sim {
namespace {

class ApplicationTest : public ::testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
};

TEST_F(ApplicationTest, BreakInfoAndReplyTimingFollowTheLineSpeedAndTurnaround) {
  Profile p;
  p.serial = "SN42";
  SimHost host(p);
  EXPECT_EQ(host.BreakInfo(),
            "PRODUCT,QZ710;PORT,1,9600,NONE,8,1,N,F;PORTSTATUS,AUTO;VERSION,4.10;COMM,1;SERIAL,SN42;REFVER,4.10;");
  const std::int64_t start = clock_.NowNs();
  host.SendReport(0x51, {0x0A, 0xFF});  // 8 bytes out, ACK back
  ASSERT_TRUE(host.ReadReport(kAck));
  const std::int64_t byteNs = SimLine::ByteTimeNs(9600);
  EXPECT_EQ(byteNs, 1'041'667);
  // Read returns as soon as the byte has arrived: 8 bytes, 2 ms turnaround, 1 byte.
  EXPECT_EQ(clock_.NowNs() - start, 8 * byteNs + 2'000'000 + byteNs);
  EXPECT_TRUE(host.Rx().OutputsOff());
}

TEST_F(ApplicationTest, SetCommsSwitchesAfterTheAckAndAMismatchYieldsGarbage) {
  SimHost host;
  host.SendReport(0x48, {0x02, 0x00, 0x01, 0xC2, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00});
  ASSERT_TRUE(host.ReadReport(kAck));
  Sleep(10);
  EXPECT_EQ(host.Rx().ApplicationSettings().baudRate, 115200u);
  // Still at 9600 the host is not understood.
  host.SendReport(0x06);
  EXPECT_FALSE(host.ReadReport(0x07, 1000));
  host.SetBaud(115200);
  host.SendReport(0x06);
  EXPECT_TRUE(host.ReadReport(0x07));
  // The break reply comes at 9600 and names the new speed.
  host.SetBaud(9600);
  EXPECT_NE(host.BreakInfo().find("PORT,1,115200,"), std::string::npos);
}

TEST_F(ApplicationTest, MismatchedFramingsGarbleEveryByte) {
  afx::LineSettings a;
  struct Case {
    const char* what;
    afx::LineSettings rx;
  } cases[] = {{"speed", a}, {"data bits", a}, {"parity", a}, {"stop bits", a}};
  cases[0].rx.baudRate = 19200;
  cases[1].rx.byteSize = 7;
  cases[2].rx.parity = 2;
  cases[3].rx.stopBits = 2;
  for (const auto& c : cases) {
    SimLine line;
    line.SetSettings(Side::Receiver, c.rx, 0);
    const Bytes sent{0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03};
    line.Send(Side::Host, sent, 0);
    Bytes got;
    std::uint8_t b = 0;
    while (line.DeliverNext(Side::Receiver, INT64_MAX, &b)) got.push_back(b);
    ASSERT_EQ(got.size(), sent.size()) << c.what;
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_NE(got[i], sent[i]) << c.what << " byte " << i;
    EXPECT_EQ(SimLine::Garble(0x02, a, c.rx), got[0]) << c.what << ": garbage must repeat exactly";
  }
}

TEST_F(ApplicationTest, RebootIntoMonitorTakesTheProfileDelay) {
  Profile p;
  p.appToMonitorMs = 8000;
  SimHost host(p);
  host.SendReport(0x87);
  Sleep(4000);
  EXPECT_EQ(host.Rx().Mode(), ReceiverMode::Restarting);
  EXPECT_EQ(host.BreakInfo(), "");  // up to 7.35 s: still restarting
  Sleep(700);
  EXPECT_EQ(host.BreakInfo().substr(0, 22), "PRODUCT,QZ710-MONITOR;");
  // Back with the loader's reboot.
  ASSERT_TRUE(host.AskLoader(4));
  Sleep(p.monitorToAppMs + 100);
  EXPECT_EQ(host.BreakInfo().substr(0, 14), "PRODUCT,QZ710;");
  EXPECT_EQ(host.Rx().Restarts(), 2);
}

TEST_F(ApplicationTest, FaultRulesFireWhereTheySay) {
  struct Case {
    const char* rule;
    Bytes expected;  // what the host reads for each of three version requests: replies (0: none), or NAK
  };
  const Case cases[] = {
      {"drop-reply n=2", {1, 0, 1}},
      {"corrupt-reply n=1", {0, 1, 1}},
      {"nak n=3", {1, 1, kNak}},
      {"silence n=2 count=0", {1, 0, 0}},
      {"drop-reply n=1 type=0x15", {1, 1, 1}},
      {"drop-reply at=2 n=1", {1, 0, 1}},
      {"delay n=2 ms=5000", {1, 0, 2}},  // the late reply comes in with the next one
      {"drop-byte n=3 dir=to-host", {0, 1, 1}},
      {"corrupt-byte n=40", {1, 0, 1}},
      {"corrupt-byte n=3 bit=0", {0, 1, 1}},
      {"garbage n=2 count=3", {0, 1, 1}},
      {"duplicate-reply n=2", {1, 2, 1}},
      // Restarting takes 10 s: the third request, 3 s later, finds it still away.
      {"reset n=2", {1, 0, 0}},
      {"cut n=1 ms=4000", {0, 0, 1}},
      {"wrong-baud n=1 ms=4000", {0, 0, 1}},  // at 19200 unless told otherwise
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    Profile p;
    std::string error;
    ASSERT_TRUE(Profile::Parse(std::string("fault = ") + c.rule, &p, &error)) << error;
    SimHost host(p, "fault");
    Bytes got;
    for (int i = 0; i < 3; ++i) {
      host.SendReport(0x06);
      const Bytes raw = host.ReadFor(3000);
      ReportCodec d;
      std::uint8_t replies = 0;
      for (auto b : raw) replies += d.Feed(b) && d.Frame().type == 0x07;
      got.push_back(replies ? replies : (raw == Bytes{kNak} ? kNak : 0));
    }
    EXPECT_EQ(got, c.expected);
    const bool none = c.expected == Bytes({1, 1, 1});
    EXPECT_EQ(host.Rx().Faults().Fired()[0], none ? 0u : (p.faults[0].count == 0 ? 2u : 1u));
  }
}

// Served in real time, the receiver is run once the bytes on their way in
// have all arrived rather than at each byte; what it does, and when, stays
// as if it had been run at each byte.
TEST_F(ApplicationTest, RunOnceTheInputHasArrivedItActsAsIfRunAtEachByte) {
  struct Case {
    std::vector<Bytes> sends;
    std::int64_t gapNs;  // between one send's last byte and the next one's first
  };
  const std::vector<Case> cases = {
      {{ReportCodec::Encode(0x06, {})}, 0},                                  // one request
      {{ReportCodec::Encode(0x06, {}), ReportCodec::Encode(0x87, {})}, 0},  // a second right behind it
      {{{0x02, 0x00, 0x06}, ReportCodec::Encode(0x06, {})}, 200 * kMs},     // half a frame, a pause, a request
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    auto serve = [&](bool eachByte, int* runs) {
      VirtualReceiver rx;
      afx::LineSettings s;
      s.baudRate = 9600;
      rx.Line().SetSettings(Side::Host, s, 0);
      std::int64_t at = 0;
      for (const Bytes& bytes : cases[i].sends) at = rx.Line().Send(Side::Host, bytes, at + cases[i].gapNs);
      const std::int64_t end = at + 3000 * kMs;
      for (std::int64_t next; (next = eachByte ? rx.NextEventNs() : rx.NextWakeNs()) <= end; ++*runs) rx.RunUntil(next);
      return rx.GetTranscript().Text();
    };
    int byteRuns = 0, wakeRuns = 0;
    const std::string atEachByte = serve(true, &byteRuns);
    EXPECT_EQ(serve(false, &wakeRuns), atEachByte);
    EXPECT_NE(atEachByte.find("rx "), std::string::npos) << atEachByte;
    EXPECT_LE(wakeRuns * 4, byteRuns);
  }
}

TEST_F(ApplicationTest, SameActionsGiveTheSameTranscript) {
  auto run = [] {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    SimHost host({}, "repeat");
    host.BreakInfo();
    host.SendReport(0x06);
    host.ReadReport(0x07);
    host.SendReport(0x87);
    Sleep(9000);
    host.BreakInfo();
    host.AskLoader(6);
    return host.Rx().GetTranscript().Text();
  };
  const std::string first = run();
  EXPECT_EQ(first.rfind("# serial transcript 1\n", 0), 0u);
  EXPECT_NE(first.find(" break on\n"), std::string::npos);
  EXPECT_EQ(first, run());
}

}  // namespace
}  // namespace sim
