// The version an image states, read apart from the plug-in's firmware readers.
#include <gtest/gtest.h>

#include "sim/ImageVersion.h"
#include "sim/ImageWriter.h"
#include "support/TempDir.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// As the virtual receiver and the host's read-back take it.
TEST(ImageVersionTest, TheVersionAnImageStatesIsReadFromEveryFormat) {
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
  // An identity block with one byte changed.
  auto with = [&id](std::size_t at, std::uint8_t value) {
    Bytes b = ImageWriter::Identity(id);
    b[at] = value;
    return b;
  };
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
      {"december.img", with(4, 12), "4.80"},
      {"month 13.img", with(4, 13), nullptr},
      {"day 31.img", with(5, 31), "4.80"},
      {"day 0.img", with(5, 0), nullptr},
      {"name ~.img", with(26, '~'), "4.80"},
      {"name cut short.img", with(26, 0), nullptr},
      {"name 0x7F.img", with(20, 0x7F), nullptr},
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
