// Report-frame sending and receiving on a scripted port and the virtual clock.
#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "protocol/TCPacket.h"
#include "support/Frames.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedIo.h"

namespace {

using test::B;
using test::Bytes;
using test::Cat;

class TCPacketTest : public ::testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::PluginStrings strings_;
  test::RecordingUi ui_;
  test::ScriptedIo io_;
};

TEST_F(TCPacketTest, FramesAreWrittenByteExactInThreeWrites) {
  struct Case {
    const char* what;
    int type;
    Bytes data;
    bool longForm;
    std::vector<Bytes> writes;
  };
  Bytes threeHundred(300);
  for (size_t i = 0; i < threeHundred.size(); ++i) threeHundred[i] = static_cast<BYTE>(i);
  int sum300 = 0x9B + 0x01 + 0x2C;
  for (BYTE b : threeHundred) sum300 += b;
  const Case cases[] = {
      {"TCP break", 0x6F, B("TCPBREAK"), false,
       {B({0x02, 0x00, 0x6F, 0x08}), B("TCPBREAK"), B({0xC3, 0x03})}},
      {"break request, no data", 0x6F, {}, false, {B({0x02, 0x00, 0x6F, 0x00}), B({0x6F, 0x03})}},
      {"long form, no data", 0x9B, {}, true, {B({0x02, 0x00, 0x9B, 0x00, 0x00}), B({0x9B, 0x03})}},
      {"long form, 300 bytes", 0x9B, threeHundred, true,
       {B({0x02, 0x00, 0x9B, 0x01, 0x2C}), threeHundred, B({static_cast<BYTE>(sum300), 0x03})}},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    CTCPacket packet(static_cast<BYTE>(c.type));
    packet.SetData(c.data);
    EXPECT_TRUE(c.longForm ? packet.SendLongPacket(io) : packet.SendPacket(io)) << c.what;
    EXPECT_EQ(io.line.writes, c.writes) << c.what;
  }
  EXPECT_EQ(Cat({B({0x02, 0x00, 0x6F, 0x08}), B("TCPBREAK"), B({0xC3, 0x03})}), test::ReportFrame(0x6F, B("TCPBREAK")));
}

TEST_F(TCPacketTest, ReceiveAcceptsTheExpectedFrameAndSkipsEverythingElse) {
  const Bytes reply = B("REPLY");
  const Bytes good = test::ReportFrame(0x07, reply);
  Bytes badSum = good;
  badSum[badSum.size() - 2] ^= 0x5A;
  Bytes noEtx = good;
  noEtx.back() = 0x04;
  struct Case {
    const char* what;
    Bytes script;
    bool ackNotExpected;
    bool ok;
    Bytes data;
    bool ack, nak;
  };
  const Case cases[] = {
      {"plain frame", good, true, true, reply, false, false},
      {"any status byte", test::ReportFrame(0x07, reply, 0x80), true, true, reply, false, false},
      {"zero-length frame", B({0x02, 0x00, 0x07, 0x00, 0x07, 0x03}), true, true, {}, false, false},
      {"garbage first", Cat({B({0x00, 0x55, 0xFF, 0x03}), good}), true, true, reply, false, false},
      {"foreign type first", Cat({test::ReportFrame(0x40, B("xx")), good}), true, true, reply, false, false},
      {"bad checksum first", Cat({badSum, good}), true, true, reply, false, false},
      {"missing end byte first", Cat({noEtx, good}), true, true, reply, false, false},
      {"lone ACK, expected", Cat({B({0x06}), good}), false, true, {}, true, false},
      {"lone NAK, expected", Cat({B({0x15}), good}), false, true, {}, false, true},
      {"lone ACK, not expected", Cat({B({0x06, 0x15}), good}), true, true, reply, false, false},
      {"ACK inside a frame is data", test::ReportFrame(0x07, B({0x06, 0x15})), false, true, B({0x06, 0x15}), false,
       false},
      {"only foreign frames", Cat({test::ReportFrame(0x08, reply), test::ReportFrame(0x06, reply)}), true, false,
       {}, false, false},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(c.script);
    CTCPacket packet(0x07);
    packet.AppendByte(0xEE);  // the request's data, replaced by the reply
    packet.SetAckNotExpected(c.ackNotExpected);
    EXPECT_EQ(packet.ReceivePacket(io, 3.0), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(packet.GetData(), c.data) << c.what;
    }
    EXPECT_EQ(packet.AckReceived(), c.ack) << c.what;
    EXPECT_EQ(packet.NakReceived(), c.nak) << c.what;
  }
}

TEST_F(TCPacketTest, AttemptsRunOnTheWholeSecondClock) {
  struct Case {
    const char* what;
    std::int64_t startOffsetMs;  // where in the wall-clock second the receive begins
    std::int64_t byteEveryMs;    // 0: the line is silent
    double seconds;              // how long all three attempts take
    int reads;
  };
  const Case cases[] = {
      {"silent line: each attempt ends at its first 2 s read", 0, 0, 6.0, 3},
      {"steady noise, started on a second boundary", 0, 100, 9.0, 90},
      {"steady noise, started half-way through a second", 500, 100, 8.5, 85},
  };
  for (const Case& c : cases) {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    clock.AdvanceMs(c.startOffsetMs);
    test::ScriptedIo io;
    if (c.byteEveryMs > 0) {
      for (int i = 0; i < 200; ++i) io.line.Feed(B({0x55}), c.byteEveryMs);
    }
    CTCPacket packet(0x07);
    const std::int64_t start = clock.NowNs();
    EXPECT_FALSE(packet.ReceivePacket(io, 3.0)) << c.what;
    EXPECT_EQ(std::make_tuple(clock.NowNs() - start, io.line.reads, packet.GetLastError()),
              std::make_tuple(std::int64_t(c.seconds * 1e9), c.reads, c.byteEveryMs > 0 ? 0 : -1))
        << c.what;
  }
}

// Port failures are swallowed except in the last attempt; a frame arriving in
// a later attempt (after the first timed out on a silent line) is taken, and
// the short receive never resends.
TEST_F(TCPacketTest, LaterAttemptsTakeTheFrameAndOnlyTheLastPassesOnAPortFailure) {
  struct Case {
    int failures;
    bool frameAfter;
    std::int64_t frameAtMs;
    bool throws;
    bool ok;
  };
  const Case cases[] = {{0, true, 2500, false, true}, {1, true, 0, false, true}, {2, true, 0, false, true},
                        {2, false, 0, false, false}, {3, true, 0, true, false}};
  for (const Case& c : cases) {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    test::ScriptedIo io;
    for (int i = 0; i < c.failures; ++i) io.line.FeedFailure();
    if (c.frameAfter) io.line.Feed(test::ReportFrame(0x07, B("ok")), c.frameAtMs);
    CTCPacket packet(0x07);
    bool ok = false;
    DWORD code = 0;
    try {
      ok = packet.ReceivePacket(io, 3.0);
    } catch (const CSerialComException& e) {
      code = e.GetErrorCode();
    }
    EXPECT_EQ(std::make_tuple(ok, code, io.line.writes.size()), std::make_tuple(c.ok, c.throws ? 303u : 0u, 0u))
        << c.failures;
    if (c.ok) {
      EXPECT_EQ(packet.GetData(), B("ok")) << c.failures;
    }
    if (c.frameAtMs) {
      EXPECT_EQ(clock.NowNs(), c.frameAtMs * 1'000'000);
    }
  }
}

TEST_F(TCPacketTest, LongReceiveResendsTheFirstRequestBetweenAttempts) {
  CTCPacket packet(0x9B);
  packet.SetData(B({0x07, 0x00}));
  ASSERT_TRUE(packet.SendLongPacket(io_));
  const Bytes request = io_.line.written;
  ASSERT_EQ(request, test::LongReportFrame(0x9B, B({0x07, 0x00})));

  // The receiver answers only the second copy of the request.
  int sends = 0;
  io_.line.onWrite = [&](test::ScriptedLine& line, const Bytes& bytes) {
    if (bytes.back() == 0x03 && ++sends == 1) line.Feed(test::LongReportFrame(0x9F, B({0x06, 0x01})));
  };
  packet.SetType(0x9F);
  EXPECT_TRUE(packet.ReceiveLongPacket(io_, 3.0));
  EXPECT_EQ(packet.GetData(), B({0x06, 0x01}));
  EXPECT_EQ(packet.GetType(), 0x9F);
  EXPECT_EQ(io_.line.written, Cat({request, request}));

  // With no answer at all, two resends and no more.
  test::ScriptedIo silent;
  CTCPacket quiet(0x9B);
  quiet.SetData(B({0x06, 0x02}));
  quiet.SendLongPacket(silent);
  quiet.SetType(0x9F);
  EXPECT_FALSE(quiet.ReceiveLongPacket(silent, 3.0));
  const Bytes abandon = test::LongReportFrame(0x9B, B({0x06, 0x02}));
  EXPECT_EQ(silent.line.written, Cat({abandon, abandon, abandon}));
}

TEST_F(TCPacketTest, AppendDataUsesTheLow16BitsOfTheCount) {
  Bytes source(0x10005, 0xAB);
  CTCPacket packet(1);
  packet.AppendData(source.data(), 0x10003);
  EXPECT_EQ(packet.GetDataSize(), 3u);
  packet.AppendWord(0x1234);
  packet.AppendDWord(0x89ABCDEF);
  EXPECT_EQ(packet.GetData(), B({0xAB, 0xAB, 0xAB, 0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF}));
}

}  // namespace
