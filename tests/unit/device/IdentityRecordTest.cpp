#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "device/GarnexEmbeddedInfo.h"
#include "device/GarnexInfo.h"
#include "plugin/GarnexApp.h"
#include "support/FirmwareImages.h"

namespace {

using Record = std::vector<BYTE>;

using testsupport::PutBE16;

void PutText(Record& r, size_t at, const char* text) { std::memcpy(&r[at], text, std::strlen(text)); }

Record ProductRecord() {
  Record r(CGarnexInfo::kRecordSize, 0);
  r[0] = 2;
  r[1] = 7;
  PutText(r, 2, "5012K34567");
  PutText(r, 34, "QZ710");
  PutText(r, 74, "Survey Dept");
  PutText(r, 110, "Unit 4");
  r[146] = 0x21;
  r[147] = 2;
  r[148] = 11;
  PutBE16(r, 149, 2009);
  r[151] = 4;
  r[152] = 30;
  PutBE16(r, 155, 0x1234);
  PutBE16(r, 169, 1);  // Data Logging, enabled
  PutBE16(r, 171, 1);
  PutBE16(r, 173, 4);  // Ethernet, disabled
  PutBE16(r, 175, 0);
  PutBE16(r, 177, 0xFFFF);  // erased slot
  PutBE16(r, 179, 0xFFFF);
  PutBE16(r, 181, 0x0300);  // unknown identifier
  PutBE16(r, 183, 0x0102);
  r[336] = 0x3E;
  PutBE16(r, 375, 0x00F0);
  return r;
}

TEST(GarnexInfo, DecodesRecord) {
  CGarnexInfo info;
  EXPECT_FALSE(info.IsFilled());
  const Record r = ProductRecord();
  ASSERT_TRUE(info.FillOutProductInfo(r.data(), static_cast<DWORD>(r.size())));
  EXPECT_TRUE(info.IsFilled());
  EXPECT_EQ(std::make_tuple(info.GetSize(), info.GetSerialNumber(), info.GetProductName(), info.GetOwnerStrOne(),
                            info.GetOwnerStrTwo()),
            std::make_tuple(425u, CString("5012K34567"), CString("QZ710"), CString("Survey Dept"), CString("Unit 4")));
  EXPECT_EQ(std::make_tuple(info.GetMonitorMajor(), info.GetMonitorMinor(), info.GetBoard(), info.GetMonitorCapability(),
                            info.GetDateMonth(), info.GetDateYear(), info.GetInstalledMajor(), info.GetInstalledMinor()),
            std::make_tuple(2, 7, 0x21, 2, 11, 2009, 4, 30));
  EXPECT_EQ(std::make_tuple(info.GetProductCode(), info.GetProductId()), std::make_tuple(0x3E, 0xF0));
  EXPECT_TRUE(info.HasSerialNumber());

  // The raw record holds the 16-bit fields in host order, the rest as received.
  WORD year = 0, word = 0;
  std::memcpy(&year, info.GetRawRecord() + 149, 2);
  std::memcpy(&word, info.GetRawRecord() + 155, 2);
  EXPECT_EQ(std::make_tuple(year, word, info.GetRawRecord()[375], info.GetRawRecord()[376]),
            std::make_tuple(2009, 0x1234, 0x00, 0xF0));

  ASSERT_EQ(info.GetFeatures().size(), 3u);
  EXPECT_EQ(std::make_tuple(info.HasFeature("Data Logging"), info.HasFeature("Ethernet"),
                            info.HasFeature("data logging"), info.HasFeature("Feature 768")),
            std::make_tuple(true, false, false, true));
  EXPECT_EQ(info.GetFeatureValue(3), 0x0102);
}

TEST(GarnexInfo, WrongSizesAreRefusedAndKeepTheRecord) {
  CGarnexInfo info;
  const Record good = ProductRecord();
  ASSERT_TRUE(info.FillOutProductInfo(good.data(), 425));
  Record other = ProductRecord();
  PutText(other, 34, "QZ999");
  for (DWORD size : {0u, 1u, 424u, 426u, 1000u}) {
    SCOPED_TRACE(size);
    std::vector<BYTE> buffer(std::max<DWORD>(size, 425), 0x55);
    std::memcpy(buffer.data(), other.data(), 425);
    EXPECT_FALSE(info.FillOutProductInfo(buffer.data(), size));
    EXPECT_EQ(info.GetProductName(), "QZ710");
  }
  EXPECT_FALSE(info.FillOutProductInfo(nullptr, 425));
  EXPECT_EQ(info.GetProductName(), "QZ710");
}

TEST(GarnexInfo, ErasedFullAndMissingFields) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  Record r = ProductRecord();
  std::memset(&r[2], 0xFF, 32);                         // erased serial number
  std::memset(&r[34], 'A', 40);                          // product name fills its field
  std::memset(&r[74], 0, 36);
  r[74] = 0xFF;                                          // erased, rest zero
  std::memset(&r[110], 0, 36);
  PutText(r, 110, "X");
  r[336] = 0;                                            // no product code: the product ID stands in
  CGarnexInfo info;
  ASSERT_TRUE(info.FillOutProductInfo(r.data(), 425));
  EXPECT_FALSE(info.HasSerialNumber());
  // The name has no terminator inside its field.
  EXPECT_EQ(std::make_tuple(info.GetSerialNumber(), info.GetProductName(), info.GetOwnerStrOne(),
                            info.GetOwnerStrTwo(), info.GetProductCode()),
            std::make_tuple("None", std::string(40, 'A'), "None", "X", 0xF0));

  r = ProductRecord();
  r[2] = 0xFF;  // only one erased byte: a serial number is still there
  ASSERT_TRUE(info.FillOutProductInfo(r.data(), 425));
  EXPECT_TRUE(info.HasSerialNumber());
}

// The shared identity block with every field that decides nothing set to a distinct value.
Record EmbeddedBlock(const char* platform = "KELVOR ") {
  testsupport::BlockSpec spec;
  spec.platform = platform;
  spec.imageSize = 0x00100000;
  spec.adler = 0x12345678;
  Record b = testsupport::EmbeddedBlock(spec);
  b[7] = 1;  // released
  testsupport::PutBE32(b, 8, 0x01020304);
  testsupport::PutBE32(b, 16, 0xAABBCCDD);
  testsupport::PutBE32(b, 28, 0x00010000);
  return b;
}

TEST(GarnexEmbeddedInfo, ParsesBigEndianBlock) {
  CGarnexEmbeddedInfo e;
  Record b = EmbeddedBlock();
  b[27] = 'Z';  // the eighth name byte is never part of the name
  ASSERT_TRUE(e.Parse(b.data(), 36));
  EXPECT_EQ(std::make_tuple(e.GetVersion(), e.GetYear(), e.GetMonth(), e.GetDay(), e.GetConfig(), e.GetReleased()),
            std::make_tuple(430, 2011, 6, 21, 0, 1));
  EXPECT_EQ(std::make_tuple(e.GetHeaderValue(), e.GetImageSize(), e.GetChecksum(), e.GetCompressSize(),
                            e.GetAdlerChecksum()),
            std::make_tuple(0x01020304u, 0x00100000u, 0xAABBCCDDu, 0x00010100u, 0x12345678u));
  EXPECT_EQ(e.GetName(), "KELVOR ");
}

TEST(GarnexEmbeddedInfo, ConfigOneSwapsTheLittleEndianFields) {
  Record b = EmbeddedBlock();
  b[6] = 1;
  b[0] = 0x2C;  // 300 little-endian
  b[1] = 0x01;
  CGarnexEmbeddedInfo e;
  ASSERT_TRUE(e.Parse(b.data(), 36));
  // 2011 reads the other way round; the checksum and the header value are never swapped.
  EXPECT_EQ(std::make_tuple(e.GetVersion(), e.GetYear(), e.GetImageSize(), e.GetCompressSize(), e.GetAdlerChecksum(),
                            e.GetChecksum(), e.GetHeaderValue()),
            std::make_tuple(300, 0xDB07, 0x00001000u, 0x00000100u + 256u, 0x78563412u, 0xAABBCCDDu, 0x01020304u));
}

TEST(GarnexEmbeddedInfo, RefusesBadBlocks) {
  struct Case {
    const char* what;
    Record block;
    DWORD size;
  };
  Record lower = EmbeddedBlock("kelvor ");
  Record shortName = EmbeddedBlock("KELVOR\0\0");
  const Case cases[] = {
      {"35 bytes", EmbeddedBlock(), 35},
      {"37 bytes", EmbeddedBlock(), 37},
      {"unknown platform", EmbeddedBlock("NOPLAT "), 36},
      {"placeholder platform", EmbeddedBlock("UNKOWN "), 36},
      {"platform in lower case", lower, 36},
      {"platform without padding", shortName, 36},
      {"erased block", Record(36, 0xFF), 36},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Record buffer = c.block;
    buffer.resize(40, 0);
    CGarnexEmbeddedInfo e;
    EXPECT_FALSE(e.Parse(buffer.data(), c.size));
  }
  CGarnexEmbeddedInfo e;
  EXPECT_FALSE(e.Parse(nullptr, 36));
}

TEST(GarnexInfo, VersionComparisons) {
  struct Case {
    BYTE major, minor;
    WORD image;
    bool same, older;
  };
  const Case cases[] = {
      {4, 30, 430, true, false},   {4, 30, 429, false, true},   {4, 30, 431, false, false},
      {4, 30, 330, false, true},   {4, 30, 500, false, false},  {4, 0, 399, false, true},
      {0xFF, 30, 100, false, false}, {4, 0xFF, 100, false, false}, {0xFF, 0xFF, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.major) << "." << int(c.minor) << " vs " << c.image);
    Record r = ProductRecord();
    r[151] = c.major;
    r[152] = c.minor;
    CGarnexInfo info;
    ASSERT_TRUE(info.FillOutProductInfo(r.data(), 425));
    Record b = EmbeddedBlock();
    PutBE16(b, 0, c.image);
    CGarnexEmbeddedInfo e;
    ASSERT_TRUE(e.Parse(b.data(), 36));
    EXPECT_EQ(info.IsSameVersion(e), c.same);
    EXPECT_EQ(info.IsOlderThanInstalled(e), c.older);
  }
  CGarnexInfo fresh;
  EXPECT_FALSE(fresh.HasSerialNumber());
  EXPECT_FALSE(fresh.IsOlderThanInstalled(CGarnexEmbeddedInfo()));
}

}  // namespace
