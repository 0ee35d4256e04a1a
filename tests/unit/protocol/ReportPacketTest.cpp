// The report-packet family: request bytes, reply types and accessors.
#include <functional>
#include <tuple>
#include <type_traits>

#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "protocol/TCErrorLog.h"
#include "protocol/TCFirmwareUpload.h"
#include "protocol/TCRetrieveGPSTime.h"
#include "protocol/TCRetrieveVersionNumbers.h"
#include "protocol/TCSetCommsPacket.h"
#include "support/Frames.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedIo.h"

namespace {

using test::B;
using test::Bytes;
using test::Cat;
using test::ReportFrame;

class ReportPacketTest : public ::testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::PluginStrings strings_;
  test::RecordingUi ui_;
};

// One request and its reply on packet type P, set up by `set`; the error log
// has its own send, and `longForm` sends and receives the long frames.
template <typename P, typename Set>
std::function<bool(test::ScriptedIo&)> Exchange(Set set, bool longForm = false) {
  return [set, longForm](test::ScriptedIo& io) {
    P p;
    set(p);
    if constexpr (std::is_same_v<P, CTCErrorLog>) {
      return p.SendRequest(io) && p.ReceiveReply(io);
    } else {
      return longForm ? p.SendLongPacket(io) && p.ReceiveLongPacket(io, 3.0) : p.SendPacket(io) && p.ReceiveReply(io);
    }
  };
}

TEST_F(ReportPacketTest, EachRequestGoesOutWithItsTypeAndEachReplyIsMatchedByItsType) {
  struct Case {
    const char* what;
    std::function<bool(test::ScriptedIo&)> exchange;  // send, then receive
    Bytes request;
    int replyType;
  };
  const auto none = [](auto&) {};
  const Case cases[] = {
      {"version numbers", Exchange<CTCRetrieveVersionNumbers>(none), ReportFrame(0x06, {}), 0x07},
      {"GPS time", Exchange<CTCRetrieveGPSTime>(none), ReportFrame(0x14, {}), 0x15},
      {"error-log count", Exchange<CTCErrorLog>([](auto& p) { p.SetEntryCountRequest(); }),
       ReportFrame(0x91, B({0x06})), 0x92},
      {"error-log entry", Exchange<CTCErrorLog>([](auto& p) { p.SetReadEntryRequest(0x0102); }),
       ReportFrame(0x91, B({0x08, 0x01, 0x02})), 0x92},
      {"error-log entry, second form", Exchange<CTCErrorLog>([](auto& p) { p.SetReadEntryLongRequest(299); }),
       ReportFrame(0x91, B({0x0A, 0x01, 0x2B})), 0x92},
      {"error-log clear", Exchange<CTCErrorLog>([](auto& p) { p.SetClearRequest(); }), ReportFrame(0x91, B({0x01})),
       0x92},
      {"firmware status, short form", Exchange<CTCFirmwareUpload>([](auto& p) { p.SetStatusQuery(); }),
       ReportFrame(0x9B, B({0x07, 0x00})), 0x9F},
      {"firmware abandon, long form", Exchange<CTCFirmwareUpload>([](auto& p) { p.SetAbandonRequest(); }, true),
       test::LongReportFrame(0x9B, B({0x06, 0x02})), 0x9F},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    const bool longReply = c.request.size() >= 7 && c.request[3] == 0x00 && c.request[4] == c.request.size() - 7;
    // An acknowledgement and a frame of the request's own type come first and must be passed over.
    io.line.Feed(Cat({B({0x06}), ReportFrame(c.request[2], B("no")),
                      longReply ? test::LongReportFrame(c.replyType, B("ok")) : ReportFrame(c.replyType, B("ok"))}));
    EXPECT_TRUE(c.exchange(io)) << c.what;
    EXPECT_EQ(io.line.written, c.request) << c.what;
  }
}

TEST_F(ReportPacketTest, SetCommsCarriesPortSpeedAndLineSettings) {
  CTCSetCommsPacket packet(1, 115200, 8, 0, 1, 0, 0);
  EXPECT_EQ(packet.GetType(), 0x48);
  EXPECT_EQ(packet.GetData(), B({0x01, 0x00, 0x01, 0xC2, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00}));
  CTCSetCommsPacket fast(3, 460800, 7, 2, 2, 1, 0);
  EXPECT_EQ(fast.GetData(), B({0x03, 0x00, 0x07, 0x08, 0x00, 0x07, 0x02, 0x02, 0x01, 0x00}));
  test::ScriptedIo io;
  ASSERT_TRUE(packet.SendPacket(io));
  EXPECT_EQ(io.line.written, ReportFrame(0x48, packet.GetData()));
}

TEST_F(ReportPacketTest, GpsTimeFieldsAreReadByPositionWithinTheReply) {
  struct Case {
    std::string reply;
    bool ok;
    long offset;
  };
  const Case cases[] = {
      {"0345600239118 2026 GPS", true, 18},
      {"0345600239118x2026xGPS", true, 18},
      {"0345600239118", true, 18},
      {"0345600 391-3 2026 GPS", true, -3},
      {"03456002391x8 2026 GPS", true, 0},
      {"034560023911", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(ReportFrame(0x15, B(c.reply)));
    CTCRetrieveGPSTime time;
    ASSERT_TRUE(time.ReceiveReply(io)) << c.reply;
    long offset = 0;
    EXPECT_EQ(time.GetUTCOffset(&offset), c.ok) << c.reply;
    EXPECT_EQ(offset, c.offset) << c.reply;
  }
  test::ScriptedIo io;
  io.line.Feed(ReportFrame(0x15, B("0345600239118 2026 GPS")));
  CTCRetrieveGPSTime time;
  ASSERT_TRUE(time.ReceiveReply(io));
  long tow = 0, week = 0, year = 0;
  CString system;
  EXPECT_TRUE(time.GetTimeOfWeek(&tow) && time.GetWeekNumber(&week) && time.GetYear(&year) &&
              time.GetTimeSystem(&system));
  EXPECT_EQ(std::make_tuple(tow, week, year, system), std::make_tuple(345600L, 2391L, 2026L, "GPS"));
}

TEST_F(ReportPacketTest, FirmwareUploadBlocksAndStatus) {
  CTCFirmwareUpload upload;
  const Bytes block = B({0xDE, 0xAD, 0xBE, 0xEF});
  upload.SetDataBlock(true, 0x00012345, block.data(), 4);
  EXPECT_EQ(upload.GetData(), B({0x06, 0x00, 0x00, 0x01, 0x23, 0x45, 0xDE, 0xAD, 0xBE, 0xEF}));
  upload.SetDataBlock(false, 0xFFFF0000, block.data(), 0);
  EXPECT_EQ(upload.GetData(), B({0x06, 0x01, 0xFF, 0xFF, 0x00, 0x00}));

  struct Case {
    Bytes reply;
    bool hasStatus;
    BYTE status;
  };
  const Case cases[] = {{B({0x06, 0x03, 0x00, 0x01}), true, 0x03}, {B({0x07, 0x03}), false, 0}, {B({0x06}), false, 0},
                        {{}, false, 0}};
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(test::LongReportFrame(0x9F, c.reply));
    CTCFirmwareUpload reply;
    BYTE status = 0xEE;
    EXPECT_FALSE(reply.GetStatus(&status));
    ASSERT_TRUE(reply.ReceiveLongPacket(io, 3.0));
    EXPECT_TRUE(reply.GetStatus(&status));
    EXPECT_EQ(status, c.hasStatus ? c.status : 0xEE);
  }
}

TEST_F(ReportPacketTest, AReplyPacketResendsTheRequestItAnswersAndStillListensForTheReply) {
  test::ScriptedIo io;
  CTCFirmwareUpload upload, reply;
  upload.SetStatusQuery();
  ASSERT_TRUE(upload.SendLongPacket(io));
  const Bytes request = io.line.written;
  int writes = 0;
  io.line.onWrite = [&](test::ScriptedLine& line, const Bytes& bytes) {
    if (bytes.back() == 0x03 && ++writes == 2) line.Feed(test::LongReportFrame(0x9F, B({0x06, 0x00})));
  };
  EXPECT_TRUE(reply.ReceiveLongReplyTo(upload, io, 3.0));
  EXPECT_TRUE(reply.IsReplyValid());
  EXPECT_EQ(reply.GetData(), B({0x06, 0x00}));
  EXPECT_EQ(upload.GetData(), B({0x07, 0x00})) << "the request keeps its data for the next send";
  EXPECT_EQ(io.line.written, Cat({request, request, request}));
}

}  // namespace
