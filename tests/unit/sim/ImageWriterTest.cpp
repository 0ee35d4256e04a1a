// Test images must be laid out exactly as the firmware readers expect them.
#include <gtest/gtest.h>

#include "sim/ImageVersion.h"
#include "sim/ImageWriter.h"
#include "support/TempDir.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageWriterTest, IdentityBlockFieldsSitAtTheirOffsets) {
  IdentityBlock id;
  id.version = 300;
  id.year = 2003;
  id.month = 7;
  id.config = 1;
  id.compressSize = 0x10000;
  id.name = "ABC";
  const Bytes b = ImageWriter::Identity(id);
  ASSERT_EQ(b.size(), 36u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{0x01, 0x2C, 0x07, 0xD3, 7, 1, 1}));
  EXPECT_EQ(std::string(b.begin() + 20, b.begin() + 27), "ABC    ");
  EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 32), (Bytes{0x00, 0x01, 0x00, 0x00}));
  const Bytes app = ImageWriter::Application(id, 0x50000);
  EXPECT_EQ(Bytes(app.begin() + 0x43000, app.begin() + 0x43000 + 7), Bytes(b.begin(), b.begin() + 7));
}

TEST(ImageWriterTest, ContainerSrecElfAndImgLayouts) {
  ImageSection mon{0, 3, 21, 0x02400000, Bytes(10, 0xAA)};
  ImageSection app{2, 4, 10, 0x02440000, Bytes(5, 0xBB)};
  const Bytes t = ImageWriter::Timg({mon, app});
  ASSERT_EQ(t.size(), 0x6Cu + 2 * 84 + 15);
  EXPECT_EQ(t[0x17], 2);
  EXPECT_EQ(t[0x6C + 84 + 1], 2) << "second entry is the application";
  EXPECT_EQ(t[0x6C + 84 + 8 + 3], 5);
  EXPECT_EQ(t[0x6C + 2 * 84 + 10], 0xBB) << "payloads follow the table without gaps";

  const std::string s = ImageWriter::SRecord(Bytes(16, 0x00), 0x100);
  // S3, count 0x15 = 4 address + 16 data + checksum; sum 0x15 + 0x01 = 0x16, checksum 0xE9.
  EXPECT_NE(s.find("S3150000010000000000000000000000000000000000E9\n"), std::string::npos) << s;
  EXPECT_EQ(s.substr(s.size() - 15), "S70500000100F9\n");

  const Bytes e = ImageWriter::Elf(Bytes(2500, 1), 0x1000);
  EXPECT_EQ(Bytes(e.begin(), e.begin() + 4), (Bytes{0x7F, 'E', 'L', 'F'}));
  EXPECT_EQ(e[19], 20) << "PowerPC";
  EXPECT_EQ(e[41], 52) << "header size";
  EXPECT_EQ(Bytes(e.begin() + 68, e.begin() + 72), (Bytes{0, 0, 0x09, 0xC4})) << "p_filesz";

  const std::uint8_t wiki[] = {'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'};
  EXPECT_EQ(ImageWriter::Adler32(wiki, sizeof wiki), 0x11E60398u);
  EXPECT_EQ(ImageWriter::Adler32(nullptr, 0), 1u);
  const Bytes img = ImageWriter::Img({}, Bytes(wiki, wiki + 9));
  ASSERT_EQ(img.size(), 256u + 9);
  EXPECT_EQ(Bytes(img.begin() + 32, img.begin() + 36), (Bytes{0x11, 0xE6, 0x03, 0x98}));
}

// The version an image states, as the virtual receiver and the host's read-back take it.
TEST(ImageWriterTest, TheVersionAnImageStatesIsReadFromEveryFormat) {
  testsupport::TempDir dir;
  IdentityBlock id;
  id.version = 480;
  const Bytes app = ImageWriter::Application(id, 0x44000);
  IdentityBlock little = id;
  little.config = 1;  // written little-endian: 0x01E0 reads as 480
  Bytes littleBlock = ImageWriter::Identity(little);
  std::swap(littleBlock[0], littleBlock[1]);
  std::string crlf = ImageWriter::SRecord(app, 0);
  for (size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) crlf.insert(at, "\r");
  const Bytes timg = ImageWriter::Timg({{0, 3, 21, 0x02400000, Bytes(8, 0x4D)}, {2, 4, 80, 0x02440000, Bytes(8, 1)}});
  struct Case {
    const char* name;
    Bytes bytes;
    const char* want;  // nullptr: no version
  };
  const std::string srec = ImageWriter::SRecord(app, 0);
  const Case cases[] = {
      {"fw.timg", timg, "4.80"},
      {"FW.TIMG", timg, "4.80"},
      {"monitor-only.timg", ImageWriter::Timg({{0, 3, 21, 0x02400000, Bytes(8, 0x4D)}}), nullptr},
      {"short.timg", Bytes(timg.begin(), timg.begin() + 0x6C + 84), nullptr},
      {"fw.srec", Bytes(srec.begin(), srec.end()), "4.80"},
      {"crlf.srec", Bytes(crlf.begin(), crlf.end()), "4.80"},
      {"fw.elf", ImageWriter::Elf(Bytes(app.begin() + 0x40000, app.end()), 0), "4.80"},
      {"low.elf", ImageWriter::Elf(Bytes(app.begin() + 0x40000, app.end()), 0x3001), nullptr},
      {"fw.img", ImageWriter::Img(id, Bytes(64, 7)), "4.80"},
      {"little.img", littleBlock, "4.80"},
      {"erased.img", Bytes(36, 0xFF), nullptr},
      {"fw.bin", timg, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageVersion v;
    std::string error;
    const bool read = ImageVersion::FromFile(dir.Write(c.name, c.bytes), &v, &error);
    EXPECT_EQ(read, c.want != nullptr) << error;
    if (read && c.want) {
      EXPECT_EQ(v.Text(), c.want);
    }
  }
  ImageVersion v;
  EXPECT_TRUE(ImageVersion::Parse("04.80", &v) && v == (ImageVersion{4, 80}));
  for (const char* bad : {"4.8", "4", ".80", "4.8a", "4.800", "1234.00", ""}) EXPECT_FALSE(ImageVersion::Parse(bad, &v)) << bad;
}

}  // namespace
}  // namespace sim
