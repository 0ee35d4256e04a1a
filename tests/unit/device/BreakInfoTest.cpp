// Break-info identification: the reply parser, the frame reader and the
// whole exchange over a CSerialInterface on a scripted device.
#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "device/BreakInfo.h"
#include "device/ModelTable.h"
#include "port/SerialInterface.h"
#include "support/Frames.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedIo.h"

namespace {

using test::B;
using test::Bytes;
using test::Cat;

const std::string kFull =
    "PRODUCT,QZ710;PORT,1,115200,x,8,1,N,R;PORTSTATUS,FIX;VERSION,4.62,x;COMM,A;SERIAL,5012K34;REFVER,4.50";

TEST(BreakInfoParse, FieldsComeFromTheirItems) {
  struct Expect {  // defaults: what a refused text leaves
    bool ok;
    std::string product = "NoSuchProduct";
    int port = -1, baud = 6, dataBits = 1, stopBits = 0, parity = 0;
    bool mode = false, fixed = false;
    std::string version = "", serial = "", refver = "";
  };
  struct Case {
    const char* what;
    std::string text;
    Expect e;
  };
  const std::string longName(300, 'Q');
  const Case cases[] = {
      {"complete", kFull, {true, "QZ710", 1, 12, 1, 0, 0, false, true, "4.62", "5012K34", "4.50"}},
      {"without PORTSTATUS the port field ends at VERSION",
       "PRODUCT,QZ710;PORT,2,38400,x,7,2,E,T;VERSION,1.00;COMM,B",
       {true, "QZ710", 2, 9, 0, 2, 2, true, false, "1.00", "", ""}},
      {"missing SERIAL and REFVER", "PRODUCT,A;PORT,0,9600,x,8,1,O,W;PORTSTATUS,FLOAT;VERSION,2.5;COMM",
       {true, "A", 0, 6, 1, 0, 1, true, false, "2.5", "", ""}},
      {"empty items are skipped, so later items move up", "PRODUCT,,B;PORT,,3,,57600,x,8,1,M,R;VERSION,,3.1;COMM",
       {true, "B", 3, 11, 1, 0, 3, false, false, "3.1", "", ""}},
      {"unknown speed, data bits, stop bits and parity keep the defaults",
       "PRODUCT,C;PORT,4,12345,x,9,3,Z,R;VERSION,1;COMM", {true, "C", 4, 6, 1, 0, 0, false, false, "1", "", ""}},
      {"speed texts are matched whole", "PRODUCT,C;PORT,4,1152000,x,8,1,S,R;VERSION,1;COMM",
       {true, "C", 4, 6, 1, 0, 4, false, false, "1", "", ""}},
      {"14400 and 1200", "PRODUCT,C;PORT,4,14400;VERSION,1;COMM", {true, "C", 4, 7, 1, 0, 0, false, false, "1"}},
      {"non-digit port number", "PRODUCT,C;PORT,X1,1200;VERSION,abc;COMM", {true, "C", 0, 3, 1, 0, 0, false, false, "abc"}},
      {"port number with trailing text", "PRODUCT,C;PORT,12ab;VERSION,7;COMM", {true, "C", 12, 6, 1, 0, 0, false, false, "7"}},
      {"port mode needs T or W first", "PRODUCT,C;PORT,1,9600,x,8,1,N,rT;VERSION,1;COMM",
       {true, "C", 1, 6, 1, 0, 0, false, false, "1"}},
      {"items beyond 255 characters of a field are not seen",
       "PRODUCT," + longName + ";PORT,1," + std::string(260, ',') + "9600;VERSION,1;COMM",
       {true, longName.substr(0, 247), 1, 6, 1, 0, 0, false, false, "1"}},
      {"SERIAL at the very end", "PRODUCT,C;PORT,1;VERSION,1;COMM;SERIAL,77", {true, "C", 1, 6, 1, 0, 0, false, false, "1", "77"}},
      {"no PRODUCT at the start", " PRODUCT,C;PORT,1;VERSION,1;COMM", {false}},
      {"no PORT", "PRODUCT,C;VERSION,1;COMM", {false}},
      {"no VERSION nor PORTSTATUS", "PRODUCT,C;PORT,1,9600;COMM", {false}},
      {"PORTSTATUS without VERSION", "PRODUCT,C;PORT,1;PORTSTATUS,FIX;COMM", {false}},
      {"no COMM", "PRODUCT,C;PORT,1;VERSION,1", {false}},
      {"no separators at all", "PRODUCTPORTVERSIONCOMM", {false}},
      {"empty", "", {false}},
  };
  for (const Case& c : cases) {
    CBreakInfo info;
    const Expect& e = c.e;
    EXPECT_EQ(info.ParsePacketData(c.text.c_str()), e.ok) << c.what;
    EXPECT_EQ(std::make_tuple(std::string(info.GetProductName()), info.GetPortNumber(), info.GetBaudCode(),
                              info.GetDataBitsCode(), info.GetStopBitsCode(), info.GetParityCode()),
              std::tie(e.product, e.port, e.baud, e.dataBits, e.stopBits, e.parity))
        << c.what;
    EXPECT_EQ(std::make_tuple(info.GetPortMode(), info.IsPortFixed(), std::string(info.GetVersionText()),
                              std::string(info.GetSerialNumber()), std::string(info.GetRefVersionText())),
              std::tie(e.mode, e.fixed, e.version, e.serial, e.refver))
        << c.what;
  }
}

TEST(BreakInfoParse, NumbersRecordAndSpeedCodes) {
  const CBreakInfo info(kFull.c_str());
  EXPECT_TRUE(info.IsValid());
  EXPECT_FLOAT_EQ(info.GetVersion(), 4.62f);
  EXPECT_FLOAT_EQ(info.GetRefVersion(), 4.50f);
  EXPECT_EQ(info.GetBaudRate(), 115200u);
  EXPECT_FALSE(CBreakInfo("PRODUCT,x").IsValid());

  struct Case {
    int code;
    DWORD rate;
  };
  const Case cases[] = {{0, 110}, {7, 14400}, {10, 56000}, {13, 128000}, {14, 256000}, {15, 230400}, {16, 460800},
                        {17, 9600}, {-1, 9600}};
  for (const Case& c : cases) EXPECT_EQ(CBreakInfo::BaudRateFromCode(c.code), c.rate) << c.code;
}

TEST(BreakInfoParse, ProductNamesAreClassifiedByTheModelLists) {
  test::PluginStrings strings;
  ASSERT_GT(CModelTable::GetApplicationNameCount(), 0u);
  ASSERT_GT(CModelTable::GetMonitorNameCount(), 0u);
  const CString application = CModelTable::GetApplicationListName(0);
  const CString monitor = CModelTable::GetMonitorListName(0);
  struct Case {
    std::string name;
    CBreakInfo::ProductKind kind;
  };
  const Case cases[] = {{application, CBreakInfo::ProductKind::Application},
                        {monitor, CBreakInfo::ProductKind::Monitor},
                        {"NoSuchProduct", CBreakInfo::ProductKind::Other},
                        {application + " ", CBreakInfo::ProductKind::Other},
                        {"", CBreakInfo::ProductKind::Other}};
  for (const Case& c : cases) {
    EXPECT_EQ(CBreakInfo::ClassifyProduct(c.name.c_str()), c.kind) << c.name;
    const CBreakInfo info(("PRODUCT," + c.name + ";PORT,1;VERSION,1;COMM").c_str());
    EXPECT_EQ(info.IsApplication(), c.kind == CBreakInfo::ProductKind::Application) << c.name;
    EXPECT_EQ(info.IsMonitor(), c.kind == CBreakInfo::ProductKind::Monitor) << c.name;
  }
}

// --- The frame reader -------------------------------------------------------

class BreakFrameTest : public ::testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::ScriptedIo io_;
  CBreakInfo info_;
};

TEST_F(BreakFrameTest, OnlyACompleteReplyFrameIsTaken) {
  const Bytes good = test::ReportFrame(0x6E, B("PRODUCT,X"));
  Bytes badSum = good;
  badSum[badSum.size() - 2] ^= 1;
  Bytes badEnd = good;
  badEnd.back() = 0x04;
  struct Case {
    const char* what;
    Bytes script;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"plain", good, "PRODUCT,X"},
      {"garbage before", Cat({B({0x00, 0xFF, 0x6E, 0x03}), good}), "PRODUCT,X"},
      {"request-type frame before", Cat({test::ReportFrame(0x6F, B("PRODUCT,Y")), good}), "PRODUCT,X"},
      {"bad checksum before", Cat({badSum, good}), "PRODUCT,X"},
      {"bad end byte before", Cat({badEnd, good}), "PRODUCT,X"},
      {"any status byte", test::ReportFrame(0x6E, B("A"), 0x33), "A"},
      {"zero-length data", B({0x02, 0x00, 0x6E, 0x00, 0x6E, 0x03}), ""},
      {"a NUL ends the text", test::ReportFrame(0x6E, B({'A', 0, 'B'})), "A"},
      {"truncated frame", Bytes(good.begin(), good.end() - 1), std::nullopt},
      {"nothing", {}, std::nullopt},
  };
  info_.SendBreakRequest(io_);
  EXPECT_EQ(io_.line.written, B({0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03})) << "the request";
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(c.script);
    const std::optional<CString> text = info_.GetRawBreakData(io);
    ASSERT_EQ(text.has_value(), c.text.has_value()) << c.what;
    if (text) {
      EXPECT_EQ(*text, *c.text) << c.what;
    }
  }
}

TEST_F(BreakFrameTest, TheReplyMustArriveWithinThreeSecondsOfTheStart) {
  struct Case {
    std::int64_t startOffsetMs;
    std::int64_t garbageMs;  // garbage at 100 ms a byte before the frame
    bool ok;
  };
  const Case cases[] = {{0, 2800, true}, {0, 3000, false}, {900, 2000, true}, {900, 2100, false}};
  for (const Case& c : cases) {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    clock.AdvanceMs(c.startOffsetMs);
    test::ScriptedIo io;
    io.line.perByteMs = 0;
    for (std::int64_t t = 0; t < c.garbageMs; t += 100) io.line.Feed(B({0x55}), 100);
    io.line.Feed(test::ReportFrame(0x6E, B("OK")));
    EXPECT_EQ(info_.GetRawBreakData(io).has_value(), c.ok) << c.startOffsetMs << " " << c.garbageMs;
  }
}

// --- The whole exchange -----------------------------------------------------

class RetrieveBreakInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record_ = std::make_shared<test::DeviceRecord>();
    port_.Attach(std::make_unique<test::ScriptedSerialDevice>(record_), 3, 1, 0, 0, 12);
    record_->line.writes.clear();
    record_->line.written.clear();
  }
  // The receiver answers every break with `reply`.
  void AnswerBreaks(const std::string& reply) {
    record_->onBreak = [reply](test::ScriptedLine& line) { line.Feed(test::ReportFrame(0x6E, B(reply)), 50); };
  }
  int Breaks() const {
    int n = 0;
    for (bool on : record_->breaks) n += on ? 1 : 0;
    return n;
  }
  int Requests() const {
    int n = 0;
    for (const Bytes& w : record_->line.writes) n += w == test::ReportFrame(0x6F, {}) ? 1 : 0;
    return n;
  }
  double Seconds() { return static_cast<double>(clock_.NowNs()) / 1e9; }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::PluginStrings strings_;
  std::shared_ptr<test::DeviceRecord> record_;
  CSerialInterface port_;
  CBreakInfo info_;
};

TEST_F(RetrieveBreakInfoTest, FollowsTheReportedSettingsAndPausesForThemToSettle) {
  struct Case {
    const char* what;
    std::string reply;
    bool noWait;
    DWORD baud;
    BYTE dataBits, parity, stopBits;
    double seconds;  // break 0.7 s, reply 0.05 s, then the pause
  };
  const Case cases[] = {
      {"115200 with the pause", kFull, false, 115200, 8, 0, 0, 8.75},
      {"115200, no-wait", kFull, true, 115200, 8, 0, 0, 0.75},
      {"7E2 at 38400", "PRODUCT,A;PORT,1,38400,x,7,2,E,R;VERSION,1;COMM", false, 38400, 7, 2, 2, 8.75},
      {"port mode T: nothing applied, no pause", "PRODUCT,A;PORT,1,115200,x,8,1,N,TCP;VERSION,1;COMM", false, 9600,
       8, 0, 0, 0.75},
      {"port mode W: nothing applied, no pause", "PRODUCT,A;PORT,1,115200,x,8,1,N,W;VERSION,1;COMM", false, 9600, 8,
       0, 0, 0.75},
  };
  for (const Case& c : cases) {
    SetUp();
    CBreakInfo info;
    AnswerBreaks(c.reply);
    const std::int64_t start = clock_.NowNs();
    EXPECT_TRUE(info.RetrieveBreakInfo(port_, true, c.noWait)) << c.what;
    EXPECT_DOUBLE_EQ(static_cast<double>(clock_.NowNs() - start) / 1e9, c.seconds) << c.what;
    const afx::LineSettings& l = record_->current;
    EXPECT_EQ(std::make_tuple(l.baudRate, l.byteSize, l.parity, l.stopBits, Breaks(), Requests()),
              std::make_tuple(c.baud, c.dataBits, c.parity, c.stopBits, 1, 0))
        << c.what;
  }
}

// A silent line gets one attempt, or three with retries, each a break and a
// request; a reply ends the attempts, and one that does not parse changes nothing.
TEST_F(RetrieveBreakInfoTest, AttemptsOnASilentLineAndRepliesThatDoNotParse) {
  struct Case {
    const char* what;
    std::optional<Bytes> onBreak, onRequest;
    bool retry, ok;
    int breaks, requests;
    double seconds;  // the break 0.7 s, two reads that time out at 2 s
  };
  const Bytes full = test::ReportFrame(0x6E, B(kFull));
  const Case cases[] = {
      {"silent, no retries", {}, {}, false, false, 1, 1, 4.7},
      {"silent, retries", {}, {}, true, false, 3, 3, 3 * 4.7},
      {"only the request is answered", {}, full, true, true, 1, 1, 2.7},
      {"zero-length reply", B({0x02, 0x00, 0x6E, 0x00, 0x6E, 0x03}), {}, true, false, 1, 0, 0.7},
      {"no COMM", test::ReportFrame(0x6E, B("PRODUCT,QZ710;PORT,1,115200;VERSION,1")), {}, true, false, 1, 0, 0.7},
  };
  for (const Case& c : cases) {
    SetUp();
    CBreakInfo info;
    if (c.onBreak) record_->onBreak = [&c](test::ScriptedLine& line) { line.Feed(*c.onBreak); };
    if (c.onRequest)
      record_->line.onWrite = [&c](test::ScriptedLine& line, const Bytes& bytes) {
        if (bytes == test::ReportFrame(0x6F, {})) line.Feed(*c.onRequest);
      };
    const std::int64_t start = clock_.NowNs();
    EXPECT_EQ(info.RetrieveBreakInfo(port_, c.retry, true), c.ok) << c.what;
    EXPECT_EQ(std::make_tuple(Breaks(), Requests()), std::make_tuple(c.breaks, c.requests)) << c.what;
    EXPECT_NEAR(static_cast<double>(clock_.NowNs() - start) / 1e9, c.seconds, 0.01) << c.what;
    EXPECT_EQ(info.GetProductName(), c.ok ? "QZ710" : "NoSuchProduct") << c.what;
    EXPECT_EQ(record_->current.baudRate, c.ok ? 115200u : 9600u) << c.what;
  }
}

TEST_F(RetrieveBreakInfoTest, PortFailuresAreRetriedButTheLastOnePropagates) {
  // The first attempt's read fails; the second attempt gets the reply.
  int breaks = 0;
  record_->onBreak = [&](test::ScriptedLine& line) {
    if (++breaks == 1) {
      line.FeedFailure(10);
    } else {
      line.Feed(test::ReportFrame(0x6E, B(kFull)), 10);
    }
  };
  EXPECT_TRUE(info_.RetrieveBreakInfo(port_, true, true));
  EXPECT_EQ(Breaks(), 2);

  SetUp();
  record_->onBreak = [](test::ScriptedLine& line) { line.FeedFailure(10); };
  CBreakInfo once;
  try {
    once.RetrieveBreakInfo(port_, false, true);
    FAIL() << "the failure of the only attempt was swallowed";
  } catch (const CSerialComException& e) {
    EXPECT_EQ(e.GetErrorCode(), 303u);
    EXPECT_EQ(e.GetPortNumber(), 3u);
  }
}

TEST_F(RetrieveBreakInfoTest, ApplyPortSettingsFallsBackTo9600WhenNotValid) {
  CBreakInfo invalid;
  port_.SetBaudIndex(16);
  invalid.ApplyPortSettings(port_);
  const afx::LineSettings& l = record_->current;
  EXPECT_EQ(std::make_tuple(l.baudRate, l.byteSize), std::make_tuple(9600u, 8));
  CBreakInfo valid(("PRODUCT,A;PORT,1,460800,x,7,2,O,R;VERSION,1;COMM"));
  valid.ApplyPortSettings(port_);
  EXPECT_EQ(std::make_tuple(l.baudRate, l.byteSize, l.parity, l.stopBits), std::make_tuple(460800u, 7, 1, 2));
}

}  // namespace
