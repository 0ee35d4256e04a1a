// The receiver's application: identification, timing on the virtual clock,
// port-speed changes and the report requests of the operations.
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

TEST_F(ApplicationTest, BreakAndRequestBothGiveTheBreakInfo) {
  Profile p;
  p.serial = "SN42";
  SimHost host(p);
  EXPECT_EQ(host.BreakInfo(),
            "PRODUCT,QZ710;PORT,1,9600,NONE,8,1,N,F;PORTSTATUS,AUTO;VERSION,4.10;COMM,1;SERIAL,SN42;REFVER,4.10;");
  host.SendReport(0x6F);
  const auto f = host.ReadReport(0x6E);
  ASSERT_TRUE(f);
  EXPECT_EQ(std::string(f->data.begin(), f->data.begin() + 14), "PRODUCT,QZ710;");
}

TEST_F(ApplicationTest, ReplyTimingFollowsTheLineSpeedAndTurnaround) {
  SimHost host;
  const std::int64_t start = clock_.NowNs();
  host.SendReport(0x51, {0x0A, 0xFF});  // 8 bytes out, ACK back
  const auto ack = host.ReadReport(kAck);
  ASSERT_TRUE(ack);
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
  // Still at 9600 the host is not understood, and the receiver's answer to
  // anything that happens to get through would be unreadable too.
  host.SendReport(0x06);
  EXPECT_FALSE(host.ReadReport(0x07, 1000));
  host.SetBaud(115200);
  host.SendReport(0x06);
  EXPECT_TRUE(host.ReadReport(0x07));
  // The break reply comes at 9600 and names the new speed.
  host.SetBaud(9600);
  EXPECT_NE(host.BreakInfo().find("PORT,1,115200,"), std::string::npos);
  // A refused request answers a type-0 frame whose first byte is 0.
  Profile refusing;
  refusing.acceptSetComms = false;
  SimHost other(refusing, "refusing");
  other.SendReport(0x48, {0x02, 0x00, 0x01, 0xC2, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00});
  const auto no = other.ReadReport(0x00);
  ASSERT_TRUE(no);
  EXPECT_EQ(no->data, (Bytes{0x00}));
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
  EXPECT_EQ(host.Rx().Mode(), ReceiverMode::Monitor);
  // Back with the loader's reboot.
  ASSERT_TRUE(host.AskLoader(4));
  Sleep(p.monitorToAppMs + 100);
  EXPECT_EQ(host.BreakInfo().substr(0, 14), "PRODUCT,QZ710;");
  EXPECT_EQ(host.Rx().Restarts(), 2);
}

TEST_F(ApplicationTest, VersionsGpsTimeAndCapabilityReplies) {
  Profile p;
  p.hwFlags = 0x62;
  SimHost host(p);
  const auto v = host.Ask(0x06, {}, 0x07);
  ASSERT_TRUE(v);
  const std::string text(v->data.begin(), v->data.end());
  ASSERT_GE(text.size(), 31u);
  EXPECT_EQ(text.substr(16, 5), "00410");
  EXPECT_EQ(text.substr(26, 5), "00321");
  const auto t = host.Ask(0x14, {}, 0x15);
  ASSERT_TRUE(t);
  EXPECT_EQ(std::string(t->data.begin() + 11, t->data.begin() + 13), "18");
  for (int at : {19, 45}) {
    Profile q;
    q.hwFlags = 0x20;
    q.hwFlagsAt = at;
    SimHost h(q, "cap" + std::to_string(at));
    const auto c = h.Ask(0x4A, {0x00}, 0x4B);
    ASSERT_TRUE(c);
    ASSERT_GT(c->data.size(), 45u);
    EXPECT_EQ(c->data[0] > 90, at == 19);
    EXPECT_EQ(c->data[static_cast<std::size_t>(at)], 0x20);
  }
}

TEST_F(ApplicationTest, ErrorLogInBothEntryFormsAndClear) {
  Profile p;
  p.errorLog.push_back({0x11223344, 7, 0x12, 0xA0, 0xB0, 2, 0xC0, 412, 2016, 3, 7, 5000, 2100});
  p.errorLog.push_back({0x55, 1, 0, 0, 0, 1, 0, 410, 2015, 1, 2, 1000, 1900});
  SimHost host(p);
  const auto count = host.Ask(0x91, {0x06}, 0x92);
  ASSERT_TRUE(count);
  EXPECT_EQ(count->data, (Bytes{0xFF, 0x07, 0x00, 0x02}));
  const auto shortForm = host.Ask(0x91, {0x08, 0x00, 0x00}, 0x92);
  ASSERT_TRUE(shortForm);
  ASSERT_EQ(shortForm->data.size(), 38u);
  EXPECT_EQ(shortForm->data[1], 0x09);
  EXPECT_EQ(Bytes(shortForm->data.begin() + 4, shortForm->data.begin() + 8), (Bytes{0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(shortForm->data[8], 7);
  EXPECT_EQ(Bytes(shortForm->data.begin() + 26, shortForm->data.begin() + 28), (Bytes{0x01, 0x9C}));
  const auto longForm = host.Ask(0x91, {0x0A, 0x00, 0x01}, 0x92);
  ASSERT_TRUE(longForm);
  ASSERT_EQ(longForm->data.size(), 129u);
  EXPECT_EQ(longForm->data[1], 0x0B);
  EXPECT_EQ(longForm->data[8], 0x55);
  EXPECT_EQ(longForm->data[31], 1);
  // Every field of the first entry in its place, from the number to the week.
  const auto first = host.Ask(0x91, {0x0A, 0x00, 0x00}, 0x92);
  ASSERT_TRUE(first);
  EXPECT_EQ(Bytes(first->data.begin() + 5, first->data.begin() + 39),
            (Bytes{0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0xA0, 0, 0, 0, 0xB0, 0, 0, 0, 0x02, 0, 0, 0, 0xC0,
                   0x01, 0x9C, 0x07, 0xE0, 3, 7, 7, 0x12, 0, 0, 0x13, 0x88, 0x08, 0x34}));
  // Clear answers a lone ACK and empties the log.
  host.SendReport(0x91, {0x01});
  EXPECT_TRUE(host.ReadReport(kAck));
  EXPECT_EQ(host.Ask(0x91, {0x06}, 0x92)->data, (Bytes{0xFF, 0x07, 0x00, 0x00}));
  // Without the long form the probe goes unanswered.
  p.errorLogLongForm = false;
  SimHost old(p, "old");
  old.SendReport(0x91, {0x0A, 0x00, 0x01});
  EXPECT_EQ(old.ReadFor(3000), Bytes{});
}

TEST_F(ApplicationTest, RadioPipeAndQueries) {
  Profile p;
  p.radioSyncStates = {3, 3, 4};
  SimHost host(p);
  host.SendReport(0x77, {'m'});
  EXPECT_TRUE(host.ReadReport(kNak)) << "no queries before the pipe is open";
  host.SendReport(0x84, {0x02, 0x04});
  ASSERT_TRUE(host.ReadReport(kAck));
  const auto m = host.Ask(0x77, {'m'}, 0x77);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->data[0], 0xA0);
  EXPECT_EQ(m->data[1], 'm');
  EXPECT_EQ(std::string(m->data.begin() + 3, m->data.begin() + 3 + m->data[2]), "2.31");
  std::vector<int> states;
  for (int i = 0; i < 4; ++i) states.push_back(host.Ask(0x77, {'l'}, 0x77)->data[3]);
  EXPECT_EQ(states, (std::vector<int>{3, 3, 4, 4}));
  const auto version = host.Ask(0x77, {'0'}, 0x77);
  EXPECT_NE(std::string(version->data.begin(), version->data.end()).find("VERSION,2.31,"), std::string::npos);
  const auto spacing = host.Ask(0x77, {'.'}, 0x77);
  EXPECT_EQ(spacing->data[3], 4);
  EXPECT_EQ(Bytes(spacing->data.begin() + 6, spacing->data.end()), (Bytes{2, 1, 5, 3}));
  for (auto pipe : {Profile::Pipe::Nak, Profile::Pipe::Silent}) {
    Profile q;
    q.radioPipe = pipe;
    SimHost h(q, pipe == Profile::Pipe::Nak ? "nak" : "silent");
    h.SendReport(0x84, {0x02, 0x04});
    const Bytes got = h.ReadFor(3000);
    EXPECT_EQ(got, pipe == Profile::Pipe::Nak ? Bytes{kNak} : Bytes{});
  }
}

TEST_F(ApplicationTest, EthernetSettingsReadWriteAndReset) {
  SimHost host;
  const auto net = host.Ask(0xAE, {0x00}, 0xAE);
  ASSERT_TRUE(net);
  EXPECT_EQ(net->data, (Bytes{0x00, 0, 192, 168, 1, 10, 255, 255, 255, 0, 192, 168, 1, 255, 192, 168, 1, 1, 192, 168, 1, 1}));
  EXPECT_EQ(host.Ask(0xAE, {0x12}, 0xAE)->data, (Bytes{0x12, 0x00, 80, 0, 0}));
  host.SendReport(0xAE, {0x02, 1, 10, 0, 0, 2, 255, 0, 0, 0, 10, 255, 255, 255, 10, 0, 0, 1, 8, 8, 8, 8});
  EXPECT_TRUE(host.ReadReport(kAck));
  host.SendReport(0xAE, {0x14, 0x1F, 0x90, 7, 9});
  EXPECT_TRUE(host.ReadReport(kAck));
  EXPECT_EQ(host.Rx().Network().dhcp, 1);
  EXPECT_EQ(host.Rx().Network().httpPort, 8080);
  EXPECT_EQ(host.Rx().Network().httpExtra[1], 9);
  // Reset with mode: ACK, then the application restarts; mode 3 restores factory settings.
  host.SendReport(0x58, {0xFF, 0x03, 'R', 'E', 'S', 'E', 'T'});
  EXPECT_TRUE(host.ReadReport(kAck));
  Sleep(100);
  EXPECT_EQ(host.Rx().Mode(), ReceiverMode::Restarting);
  EXPECT_EQ(host.Rx().Network().httpPort, 80);
  Sleep(10000);
  EXPECT_EQ(host.Rx().Mode(), ReceiverMode::Application);
  host.SendReport(0x58, {0xFF, 0x04, 'R', 'E', 'S', 'E', 'T'});
  EXPECT_TRUE(host.ReadReport(kNak)) << "mode 4 is not a reset";
  EXPECT_EQ(host.Rx().ResetModes(), (std::vector<int>{3}));
}

TEST_F(ApplicationTest, CloneTransferAndActivationStatuses) {
  Profile p;
  p.cloneActivation = {1, 1, 0};
  SimHost host(p);
  const std::string name = "base";
  const Bytes file(481, 'x');
  Bytes start{0x03, 0x00, 0x00, 0x01, 0xE1, static_cast<std::uint8_t>(name.size())};
  start.insert(start.end(), name.begin(), name.end());
  EXPECT_EQ(host.Ask(0xB9, start, 0xB9)->data, (Bytes{0x03, 0x00, 0x00}));
  for (std::size_t off = 0; off < file.size(); off += 240) {
    const std::size_t size = std::min<std::size_t>(240, file.size() - off);
    Bytes chunk(5 + size, 'x');  // the file is all 'x'
    const std::uint8_t head[5] = {0x03, 0x01, 0x00, static_cast<std::uint8_t>(off >> 8), static_cast<std::uint8_t>(off)};
    std::copy(head, head + 5, chunk.begin());
    const auto r = host.Ask(0xB9, chunk, 0xB9);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data.size(), 6u);
    EXPECT_EQ(r->data[4], 0x00);
  }
  EXPECT_EQ(host.Ask(0xB9, {0x03, 0x02, 0x00}, 0xB9)->data, (Bytes{0x03, 0x02, 0x00}));
  EXPECT_EQ(host.Rx().CloneFiles().at(name), file);
  Bytes activate{0x02, static_cast<std::uint8_t>(name.size() + 4)};
  const std::string full = name + ".xml";
  activate.insert(activate.end(), full.begin(), full.end());
  activate.insert(activate.end(), {1, 0, 1});
  host.SendReport(0xB9, activate);
  std::vector<int> statuses;
  for (int i = 0; i < 3; ++i) {
    const auto r = host.ReadReport(0xB9);
    ASSERT_TRUE(r);
    statuses.push_back(r->data[1]);
  }
  EXPECT_EQ(statuses, (std::vector<int>{1, 1, 0}));
  ASSERT_EQ(host.Rx().Activations().size(), 1u);
  EXPECT_TRUE(host.Rx().Activations()[0].installIp);
  EXPECT_TRUE(host.Rx().Activations()[0].resetFirst);
}

TEST_F(ApplicationTest, SameActionsGiveTheSameTranscript) {
  auto run = [] {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    SimHost host({}, "repeat");
    host.BreakInfo();
    host.Ask(0x06, {}, 0x07);
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
