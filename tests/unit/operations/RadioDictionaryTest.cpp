// The radio dictionaries (the configuration area's and the newer radio's), the
// trailing block, the spacing-code answer and the new-radio product list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/ModelTable.h"
#include "operations/ERODictionary.h"
#include "operations/PB2Dictionary.h"
#include "operations/RadioCfgOperation.h"

namespace {
using Bytes = std::vector<BYTE>;

// The head `a b version count`, the given entry bytes, then their sum (plus `sumDelta`).
Bytes Dictionary(BYTE a, BYTE b, BYTE version, BYTE count, const Bytes& entries, int sumDelta) {
  Bytes d{a, b, version, count};
  d.insert(d.end(), entries.begin(), entries.end());
  const WORD sum = static_cast<WORD>(CERODictionary::Sum(d.data(), d.size()) + sumDelta);
  d.push_back(static_cast<BYTE>(sum >> 8));
  d.push_back(static_cast<BYTE>(sum));
  return d;
}
Bytes Area(BYTE count, const Bytes& entries, int sumDelta = 0) {
  return Dictionary('E', 'R', 1, count, entries, sumDelta);
}
Bytes Pb2(BYTE count, const Bytes& settings, int sumDelta = 0) {
  return Dictionary('P', 'B', 2, count, settings, sumDelta);
}

const Bytes kModeAndSetting{0, 1, 1, 4, 0, 2, 2, 0x01, 0x2C};
}  // namespace

TEST(RadioDictionary, LoadsOnlyCompleteDictionaries) {
  Bytes withPower = kModeAndSetting;
  withPower.insert(withPower.end(), {0, 148, 2, 0, 9, 0, 30, 4, 0x1A, 0xD4, 0x5F, 0x28});
  Bytes badMagic = Area(2, kModeAndSetting);
  badMagic[1] = 'X';
  Bytes truncated = Area(2, kModeAndSetting);
  truncated.pop_back();
  const struct {
    const char* what;
    Bytes data;
    bool loads;
  } cases[] = {
      {"mode and setting", Area(2, kModeAndSetting), true},
      {"more entries", Area(4, withPower), true},
      {"padding after the sum", [] { Bytes d = Area(2, kModeAndSetting); d.resize(64, 0xFF); return d; }(), true},
      {"bad magic", badMagic, false},
      {"bad sum", Area(2, kModeAndSetting, 1), false},
      {"sum cut off", truncated, false},
      {"count beyond the data", Area(3, kModeAndSetting), false},
      {"no setting", Area(1, {0, 1, 1, 4}), false},
      {"width 3", Area(2, {0, 1, 1, 4, 0, 2, 3, 0, 0, 0}), false},
      {"identifier twice", Area(3, {0, 1, 1, 4, 0, 2, 2, 0, 0, 0, 1, 1, 5}), false},
      {"empty", {}, false},
  };
  for (const auto& c : cases) {
    CERODictionary d;
    EXPECT_EQ(d.Load(c.data.data(), c.data.size()), c.loads) << c.what;
  }
  CERODictionary d;
  ASSERT_TRUE(d.Load(Area(4, withPower).data(), Area(4, withPower).size()));
  EXPECT_EQ(std::make_tuple(d.GetMode(), d.GetSetting(), d.Get(CERODictionary::kTransmitFrequency),
                            d.Get(CERODictionary::kTransmitPower), d.Get(99, 77)),
            std::make_tuple(4, 300u, 450125608u, 9u, 77u));
}

TEST(RadioDictionary, SettersKeepTheirRanges) {
  // 148 and 23 as 16-bit entries; 24 as an 8-bit one.
  Bytes entries = kModeAndSetting;
  entries.insert(entries.end(), {0, 148, 2, 0, 5, 0, 23, 2, 0, 0, 0, 24, 1, 2});
  const Bytes area = Area(5, entries);
  const struct {
    const char* what;
    bool (*apply)(CERODictionary&);
    bool accepted;
  } cases[] = {
      {"power 20", [](CERODictionary& d) { return d.SetTransmitPower(20); }, true},
      {"power 21", [](CERODictionary& d) { return d.SetTransmitPower(21); }, false},
      {"code 768", [](CERODictionary& d) { return d.SetChannelCode(768); }, true},
      {"code 1024", [](CERODictionary& d) { return d.SetChannelCode(1024); }, true},
      {"code 3", [](CERODictionary& d) { return d.SetChannelCode(3); }, false},
      {"byte entry 255", [](CERODictionary& d) { return d.Set(24, 255); }, true},
      {"byte entry 256", [](CERODictionary& d) { return d.Set(24, 256); }, false},
      {"missing entry", [](CERODictionary& d) { return d.Set(99, 1); }, false},
  };
  for (const auto& c : cases) {
    CERODictionary d;
    ASSERT_TRUE(d.Load(area.data(), area.size()));
    EXPECT_EQ(c.apply(d), c.accepted) << c.what;
  }
  // Power on an 8-bit entry is refused even within range.
  const Bytes narrow = Area(3, [] { Bytes e = kModeAndSetting; e.insert(e.end(), {0, 148, 1, 5}); return e; }());
  CERODictionary d;
  ASSERT_TRUE(d.Load(narrow.data(), narrow.size()));
  EXPECT_FALSE(d.SetTransmitPower(0));
}

TEST(RadioSpacing, DecodesTheCapabilityAnswer) {
  const struct {
    Bytes answer;
    std::vector<UINT> codes;
  } cases[] = {
      {{0xA0, '.', 0, 4, 0, 0, 2, 1, 5, 3}, {2, 1, 3}},
      {{0xA0, '.', 0, 4, 0, 0, 5, 2, 1, 5}, {5, 2, 1}},  // a 5 before any 1 stays
      {{0xA0, '.', 0, 2, 0, 0, 2, 1, 5, 3}, {2, 1}},     // count shorter than the data
      {{0xA0, '.', 0, 9, 0, 0, 4, 1}, {4, 1}},           // count beyond the data
      {{0xA0, '.', 0, 0, 0, 0, 1}, {}},
      {{0xA0, '.', 0, 4, 0, 0}, {}},                     // 6 bytes: no list
  };
  for (const auto& c : cases)
    EXPECT_EQ(CRadioCfgOperation::DecodeSpacingList(c.answer.data(), static_cast<UINT>(c.answer.size())), c.codes);
}

namespace {
// Mode 14 (group 0, id 1, byte), network 300 (0/2, word), power 9 (1/1123, word),
// channel code 0 (2/23, word), transmit table 450125000, 451000000 (1/1130).
const Bytes kPb2Settings{0, 0, 1, 1, 14,          0, 0, 2, 2, 0x01, 0x2C,
                         1, 0x04, 0x63, 2, 0, 9,  2, 0, 23, 2, 0, 0,
                         1, 0x04, 0x6A, 0x10, 2,  0x1A, 0xD4, 0x5F, 0x28, 0x1A, 0xE1, 0xB6, 0xC0};
}  // namespace

TEST(NewRadioDictionary, LoadsExactlyOneDictionaryAndEncodesItAsRead) {
  Bytes padded = Pb2(5, kPb2Settings);
  padded.push_back(0xFF);
  Bytes bigTable{0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 1, 0, 9, 0x10, 17};
  bigTable.resize(bigTable.size() + 17 * 4, 0);
  const struct {
    const char* what;
    Bytes data;
    bool loads;
  } cases[] = {
      {"all kinds", Pb2(5, kPb2Settings), true},
      {"mode and setting only", Pb2(2, Bytes(kPb2Settings.begin(), kPb2Settings.begin() + 11)), true},
      {"empty table", Pb2(3, {0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 1, 0, 9, 0x10, 0}), true},
      {"bytes after the sum", padded, false},
      {"bad sum", Pb2(5, kPb2Settings, 1), false},
      {"older format", [] { Bytes d = Pb2(5, kPb2Settings); d[2] = 1; return d; }(), false},
      {"count beyond the data", Pb2(6, kPb2Settings), false},
      {"table beyond the data", Pb2(5, Bytes(kPb2Settings.begin(), kPb2Settings.end() - 1)), false},
      {"table of 17", Pb2(3, bigTable), false},
      {"kind 3", Pb2(3, {0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 1, 0, 9, 3, 0, 0, 0}), false},
      {"no mode", Pb2(1, {0, 0, 2, 2, 0, 0}), false},
      {"mode as a table", Pb2(2, {0, 0, 1, 0x10, 0, 0, 0, 2, 2, 0, 0}), false},
      {"same key twice", Pb2(3, {0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 0, 0, 1, 1, 4}), false},
      {"same id, other group", Pb2(3, {0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 1, 0, 1, 1, 4}), true},
      {"header only", {'P', 'B', 2, 0}, false},
      {"too long for a frame", [] { Bytes d = Pb2(2, Bytes(kPb2Settings.begin(), kPb2Settings.begin() + 11));
                                    d.resize(CPB2Dictionary::kMaxEncoded + 1); return d; }(), false},
  };
  for (const auto& c : cases) {
    CPB2Dictionary d;
    ASSERT_EQ(d.Load(c.data.data(), c.data.size()), c.loads) << c.what;
    if (c.loads) {
      EXPECT_EQ(d.Encode(), c.data) << c.what;
    }
  }
  CPB2Dictionary d;
  const Bytes full = Pb2(5, kPb2Settings);
  ASSERT_TRUE(d.Load(full.data(), full.size()));
  EXPECT_EQ(std::make_tuple(d.GetMode(), d.GetSetting(), d.Get(CPB2Dictionary::kTransmitPower)),
            std::make_tuple(14, 300u, 9u));
  EXPECT_EQ(d.GetTable(CPB2Dictionary::kTransmitTable), (std::vector<UINT>{450125608, 451000000}));
  EXPECT_TRUE(d.GetTable(CPB2Dictionary::kReceiveTable).empty());
  EXPECT_EQ(d.Get(CPB2Dictionary::kTransmitTable, 7), 7u) << "a table has no scalar value";
  Bytes reply{0xA0, 'r', 0};
  reply.insert(reply.end(), full.begin(), full.end());
  EXPECT_TRUE(CPB2Dictionary().LoadReply(reply.data(), reply.size()));
  // A refusal, the answer to another query, another tag: each byte of the head counts.
  for (const auto& change : {std::pair<size_t, BYTE>{2, 1}, {1, 'm'}, {0, 0xA1}}) {
    Bytes other = reply;
    other[change.first] = change.second;
    EXPECT_FALSE(CPB2Dictionary().LoadReply(other.data(), other.size())) << change.first;
  }
}

TEST(NewRadioDictionary, SettersKeepTheirRangesAndTheLayout) {
  const Bytes full = Pb2(5, kPb2Settings);
  using D = CPB2Dictionary;
  const struct {
    const char* what;
    bool (*apply)(D&);
    bool accepted;
  } cases[] = {
      {"power 20", [](D& d) { return d.SetTransmitPower(20); }, true},
      {"power 21", [](D& d) { return d.SetTransmitPower(21); }, false},
      {"code 768", [](D& d) { return d.SetChannelCode(768); }, true},
      {"code 3", [](D& d) { return d.SetChannelCode(3); }, false},
      {"mode 255", [](D& d) { return d.Set(D::kMode, 255); }, true},
      {"mode 256", [](D& d) { return d.Set(D::kMode, 256); }, false},
      {"absent table", [](D& d) { return d.SetTable(D::kReceiveTable, {1}); }, false},
      {"table of 16", [](D& d) { return d.SetTable(D::kTransmitTable, std::vector<UINT>(16, 1)); }, true},
      {"table of 17", [](D& d) { return d.SetTable(D::kTransmitTable, std::vector<UINT>(17, 1)); }, false},
      {"empty table", [](D& d) { return d.SetTable(D::kTransmitTable, {}); }, false},
      {"scalar on a table", [](D& d) { return d.Set(D::kTransmitTable, 1); }, false},
  };
  for (const auto& c : cases) {
    D d;
    ASSERT_TRUE(d.Load(full.data(), full.size()));
    EXPECT_EQ(c.apply(d), c.accepted) << c.what;
    // Whatever a setter did, the dictionary still encodes to something that loads as itself.
    const Bytes bytes = d.Encode();
    D again;
    ASSERT_TRUE(again.Load(bytes.data(), bytes.size())) << c.what;
    EXPECT_TRUE(again == d) << c.what;
  }
  // Transmit power and channel code only take 16-bit settings.
  D narrow;
  const Bytes bytes = Pb2(4, {0, 0, 1, 1, 14, 0, 0, 2, 2, 0, 0, 1, 0x04, 0x63, 1, 9, 2, 0, 23, 4, 0, 0, 0, 0});
  ASSERT_TRUE(narrow.Load(bytes.data(), bytes.size()));
  EXPECT_FALSE(narrow.SetTransmitPower(0));
  EXPECT_FALSE(narrow.SetChannelCode(768));
}
