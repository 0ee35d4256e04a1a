// Decoding of error-log entries from the five wire layouts, the "ELog" image,
// and the texts an entry shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "device/GarnexException.h"
#include "operations/ErrorEntryText.h"
#include "operations/ErrorLogEntry.h"
#include "operations/ErrorLogMgr.h"
#include "support/PluginTestEnv.h"

namespace {

using Layout = CErrorLogEntry::Layout;

// Field offsets per layout, written out independently of the decoder.
struct Offsets {
  Layout layout;
  const char* name;
  size_t size;
  int number, id, vpc, pc, da, rr1, rr2, version, year, month, day, tow, week;
  int upTime, sp, trace, udLen, ud;  // -1: short entries have none
};

const Offsets kLayouts[] = {
    {Layout::ShortReply, "short reply", 38, 4, 8, 9, 10, 14, 18, 22, 26, 28, 30, 31, 32, 36, -1, -1, -1, -1, -1},
    {Layout::LongReply, "long reply", 129, 5, 31, 32, 9, 13, 17, 21, 25, 27, 29, 30, 33, 37, 39, 43, 47, 87, 89},
    {Layout::ImageV1, "image v1", 40, 4, 36, 37, 8, 12, 16, 20, 24, 26, 28, 29, 30, 34, -1, -1, -1, -1, -1},
    {Layout::ImageV2, "image v2", 35, 1, 27, 28, 5, 9, 13, 17, 21, 23, 25, 26, 29, 33, -1, -1, -1, -1, -1},
    {Layout::ImageV3, "image v3", 125, 1, 27, 28, 5, 9, 13, 17, 21, 23, 25, 26, 29, 33, 35, 39, 43, 83, 85},
};

void Put(std::vector<std::uint8_t>& d, int at, std::uint64_t v, int bytes, bool littleEndian = false) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = littleEndian ? 8 * i : 8 * (bytes - 1 - i);
    d[static_cast<size_t>(at + i)] = static_cast<std::uint8_t>(v >> shift);
  }
}

// A record of the given layout with distinct values in every field.
std::vector<std::uint8_t> Build(const Offsets& o, bool littleEndian = false) {
  std::vector<std::uint8_t> d(o.size, 0xEE);
  Put(d, o.number, 0x11223344, 4, littleEndian);
  d[static_cast<size_t>(o.id)] = 0x21;
  d[static_cast<size_t>(o.vpc)] = 0x5A;
  Put(d, o.pc, 0x02441234, 4, littleEndian);
  Put(d, o.da, 0x20001000, 4, littleEndian);
  Put(d, o.rr1, 3, 4, littleEndian);
  Put(d, o.rr2, 0xCAFEBABE, 4, littleEndian);
  Put(d, o.version, 412, 2, littleEndian);
  Put(d, o.year, 2016, 2, littleEndian);
  d[static_cast<size_t>(o.month)] = 3;
  d[static_cast<size_t>(o.day)] = 7;
  Put(d, o.tow, 345600000, 4, littleEndian);
  Put(d, o.week, 1877, 2, littleEndian);
  if (o.upTime >= 0) {
    Put(d, o.upTime, 98765, 4, littleEndian);
    Put(d, o.sp, 0x2000FFF0, 4, littleEndian);
    const std::uint32_t traces[10] = {5, 9, 0, 7, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < 10; ++i) Put(d, o.trace + 4 * i, traces[i], 4, littleEndian);
    Put(d, o.udLen, 3, 2, littleEndian);
    for (int i = 0; i < 40; ++i) d[static_cast<size_t>(o.ud + i)] = static_cast<std::uint8_t>(0xA0 + i);
  }
  return d;
}

TEST(ErrorLogEntry, DecodesEveryFieldOfEveryLayout) {
  for (const Offsets& o : kLayouts) {
    for (const bool hostOrder : {false, true}) {
      SCOPED_TRACE(std::string(o.name) + (hostOrder ? " host order" : " big-endian"));
      const auto d = Build(o, hostOrder);
      CErrorLogEntry e(CErrorLogEntry::kShortFormat, hostOrder ? 1 : 0);
      ASSERT_TRUE(e.Decode(o.layout, d.data(), d.size()));
      EXPECT_EQ(std::make_tuple(e.m_nNumber, e.m_nID, e.m_nVPC, e.m_nPC, e.m_nDA, e.m_nRR1, e.m_nRR2),
                std::make_tuple(0x11223344u, 0x21, 0x5A, 0x02441234u, 0x20001000u, 3u, 0xCAFEBABEu));
      EXPECT_EQ(std::make_tuple(e.m_nSoftwareVersion, e.m_nSoftwareYear, e.m_nSoftwareMonth, e.m_nSoftwareDay,
                                e.m_nTimeOfWeek, e.m_nWeek),
                std::make_tuple(412, 2016, 3, 7, 345600000u, 1877));
      // Short layouts leave the long fields as a fresh entry has them.
      const bool full = o.upTime >= 0;
      EXPECT_EQ(std::make_tuple(e.m_nUpTime, e.m_nUserDataLength, e.m_trace[full ? 3 : 0]),
                std::make_tuple(full ? 98765u : 0xFFFFFFFFu, full ? 3 : 0xFFFF, full ? 7u : 0xFFFFFFFFu));
      if (full) {
        EXPECT_EQ(std::make_tuple(e.m_nStackPointer, e.m_userData[39]), std::make_tuple(0x2000FFF0u, 0xA0 + 39));
      }
      // One byte short of the layout decodes nothing.
      CErrorLogEntry cut(CErrorLogEntry::kShortFormat, hostOrder ? 1 : 0);
      EXPECT_FALSE(cut.Decode(o.layout, d.data(), d.size() - 1));
      EXPECT_EQ(cut.m_nNumber, 0xFFFFFFFFu);
    }
  }
}

TEST(ErrorLogEntry, ReplyFramingDecidesFormatAndState) {
  auto shortReply = Build(kLayouts[0]);
  shortReply[0] = 0xFF;
  shortReply[1] = 0x09;
  auto longReply = Build(kLayouts[1]);
  longReply[0] = 0xFF;
  longReply[1] = 0x0B;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
    bool ok;
    WORD format;
  };
  auto badLead = shortReply;
  badLead[0] = 0x00;
  auto wrongKind = shortReply;
  wrongKind[1] = 0x0B;
  auto longTruncated = longReply;
  longTruncated.pop_back();
  auto shortExtra = shortReply;
  shortExtra.push_back(0);
  const Case cases[] = {
      {"short", shortReply, true, 2},         {"long", longReply, true, 3},
      {"lead byte not FF", badLead, false, 0}, {"kind of the other length", wrongKind, false, 0},
      {"long cut", longTruncated, false, 0},  {"short with a spare byte", shortExtra, false, 0},
      {"empty", {}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CErrorLogEntry e(CErrorLogEntry::kShortFormat, 0);
    EXPECT_EQ(e.DecodeReply(c.data.data(), c.data.size()), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::make_tuple(e.m_nFormat, e.m_nState, e.m_nNumber),
                std::make_tuple(c.format, CErrorLogEntry::kStateValid, 0x11223344u));
    } else {
      EXPECT_EQ(e.m_nState, CErrorLogEntry::kStateErased);
    }
  }
}

TEST(ErrorLogEntry, UtcTimeCountsFromTheGpsEpochPlusOffset) {
  test::PluginStrings strings;
  struct Case {
    WORD week;
    DWORD tow;
    BYTE offset;
    const char* summaryTime;  // nullptr: not available
    DWORD rr1;                // decides the type text
    const char* type;
    int weekday = -1;
  };
  const Case cases[] = {
      {0, 0, 0, "1/6/1980 0:00:00", 1, "Startup Error", 0},  // GPS weeks start on a Sunday
      {1877, 345600000, 18, "12/31/2015 0:00:18", 2, "Radio Error", 4},
      // The offset carries the time over midnight into the next week.
      {2400, 604799000, 18, "1/11/2026 0:00:17", 3, "Runtime Warning", 0},
      {1024, 86399999, 0, "8/22/1999 23:59:59", 0, "Runtime Error", 0},
      {0xFFFF, 0, 0, nullptr, 4, "Runtime Error"},
      {100, 0xFFFFFFFF, 0, nullptr, 2, "Radio Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.week);
    CErrorLogEntry e(CErrorLogEntry::kShortFormat, 0);
    e.m_nNumber = 0x123;
    e.m_nRR1 = c.rr1;
    e.m_nWeek = c.week;
    e.m_nTimeOfWeek = c.tow;
    e.m_nUtcOffset = c.offset;
    if (c.summaryTime) {
      EXPECT_EQ(e.GetSummary(), std::string(c.type) + ":\t0x00000123  At time: " + c.summaryTime + " UTC");
      EXPECT_EQ(CErrorEntryText(e).m_strTime, c.summaryTime);
      SYSTEMTIME t{};
      ASSERT_TRUE(e.GetUtcTime(&t));
      EXPECT_EQ(t.wDayOfWeek, c.weekday);
    } else {
      EXPECT_EQ(e.GetSummary(), std::string(c.type) + ":\t0x00000123  At time: Not Available");
      EXPECT_EQ(CErrorEntryText(e).m_strTime, "N/A");
    }
    EXPECT_EQ(e.GetTypeText(), c.type);
    // Showing it again gives the same and leaves the fields alone.
    EXPECT_EQ(e.GetSummary(), e.GetSummary());
    EXPECT_EQ(e.m_nTimeOfWeek, c.tow);
  }
}

TEST(ErrorLogEntry, FieldTextsUseTheTableFormats) {
  test::PluginStrings strings;
  CErrorLogEntry e(CErrorLogEntry::kShortFormat, 0);
  const auto d = Build(kLayouts[0]);
  ASSERT_TRUE(e.Decode(Layout::ShortReply, d.data(), d.size()));
  const CErrorEntryText t(e);
  EXPECT_EQ(std::make_tuple(t.m_strVersion, t.m_strDate, t.m_strVPC, t.m_strID, t.m_strPC),
            std::make_tuple("4.12", "3/7/2016", "0x5A", "33", "0x02441234"));
  e.m_nSoftwareVersion = 405;
  EXPECT_EQ(CErrorEntryText(e).m_strVersion, "4.05");
}

// ---- the memory image ----

std::vector<std::uint8_t> Image(int version, const std::vector<std::uint8_t>& states, bool littleEndian = false) {
  const size_t size = CErrorLogEntry::RecordSize(version);
  std::vector<std::uint8_t> img(size * (states.size() + 1), 0xFF);
  Put(img, 0, CErrorLogMgr::kImageMagic, 4, littleEndian);
  Put(img, 4, static_cast<std::uint64_t>(version), 2, littleEndian);
  const Offsets& o = kLayouts[1 + version];
  for (size_t k = 0; k < states.size(); ++k) {
    auto rec = Build(o, littleEndian);
    Put(rec, o.number, 0x100 + k, 4, littleEndian);
    rec[0] = states[k];
    std::copy(rec.begin(), rec.end(), img.begin() + static_cast<std::ptrdiff_t>((k + 1) * size));
  }
  return img;
}

TEST(ErrorLogMgr, DecodesEachImageVersion) {
  for (int version = 1; version <= 3; ++version) {
    for (const bool hostOrder : {false, true}) {
      SCOPED_TRACE(version);
      const auto img = Image(version, {0xFC, 0xF8, 0xFE, 0xFF, 0xFC}, hostOrder);
      CErrorLogMgr log;
      ASSERT_TRUE(log.DecodeImage(img.data(), img.size(), hostOrder));
      ASSERT_EQ(log.GetCount(), 5);
      EXPECT_EQ(std::make_tuple(log.GetValidCount(), log.GetShownCount(false), log.GetShownCount(true)),
                std::make_tuple(2, 2, 3));
      // An empty slot (the third) carries its state and nothing else.
      EXPECT_EQ(std::make_tuple(log.GetAt(0)->m_nNumber, log.GetAt(1)->m_nState, log.GetAt(1)->m_nNumber,
                                log.GetAt(2)->m_nState, log.GetAt(2)->m_nNumber),
                std::make_tuple(0x100u, 0xF8, 0x101u, 0xFE, 0xFFFFFFFFu));
      EXPECT_EQ(std::make_tuple(log.GetAt(4)->m_nWeek, log.GetAt(4)->IsLong(), log.GetAt(4)->m_nUtcOffset),
                std::make_tuple(1877, version == 3, 0));
    }
  }
}

TEST(ErrorLogMgr, RefusesWhatIsNotALogImage) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> image;
  };
  auto v4 = Image(2, {0xFC});
  v4[5] = 4;
  auto v0 = Image(2, {0xFC});
  v0[5] = 0;
  auto magic = Image(2, {0xFC});
  magic[0] = 'X';
  // Little-endian header read as big-endian.
  const auto swapped = Image(3, {0xFC}, true);
  const Case cases[] = {{"version 4", v4}, {"version 0", v0}, {"magic", magic}, {"byte order", swapped},
                        {"header cut", {0x45, 0x4C, 0x6F, 0x67, 0x00}}, {"empty", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CErrorLogMgr log;
    try {
      log.DecodeImage(c.image.data(), c.image.size(), false);
      ADD_FAILURE() << "no exception";
    } catch (const CGarnexException& e) {
      EXPECT_EQ(e.GetCode(), 713u);
      EXPECT_EQ(e.GetPortNumber(), 0u);
    }
  }
}

TEST(ErrorLogMgr, UnknownStateStopsDecodingAndKeepsWhatCameBefore) {
  const auto img = Image(1, {0xFC, 0xF8, 0x12, 0xFC});
  CErrorLogMgr log;
  EXPECT_FALSE(log.DecodeImage(img.data(), img.size(), false));
  EXPECT_EQ(log.GetCount(), 2);
  log.Clear();
  EXPECT_EQ(log.GetCount(), 0);
  EXPECT_EQ(log.GetAt(0), nullptr);
}

}  // namespace
