// Executable and S-record images, read in load-address terms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/GarnexEmbeddedInfo.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/GarnexSRecFile.h"
#include "firmware/LSFlashFileException.h"
#include "support/FirmwareImages.h"
#include "support/TempDir.h"
#include "support/Throws.h"

namespace {

using namespace testsupport;

template <typename F>
UINT CodeOf(F&& f) {
  return testsupport::CodeOf<CLSFlashFileException>(std::forward<F>(f));
}

struct Block {
  DWORD address;
  WORD count;
  bool operator==(const Block&) const = default;
};

template <typename File>
std::vector<Block> AllBlocks(File& f, Bytes* data = nullptr) {
  std::vector<Block> blocks;
  FlashBlock b;
  while (f.ReadNextBlock(b)) {
    blocks.push_back({b.address, b.count});
    if (data) data->insert(data->end(), b.data, b.data + b.count);
    if (blocks.size() > 10000) break;
  }
  return blocks;
}

TEST(GarnexElfFile, RefusesWhatIsNoPowerPcExecutable) {
  TempDir dir;
  const std::vector<ElfSegment> one = {{1, 5, 0x1000, Pattern(64)}};
  const auto with = [&](auto change) {
    ElfSpec spec;
    change(spec);
    return ElfImage(one, spec);
  };
  Bytes magic = ElfImage(one);
  magic[1] = 'e';
  const struct {
    const char* what;
    Bytes image;
  } cases[] = {
      {"other machine", with([](ElfSpec& e) { e.machine = 3; })},
      {"little-endian", with([](ElfSpec& e) { e.littleEndian = true; })},
      {"not executable", with([](ElfSpec& e) { e.type = 1; })},
      {"wrong version", with([](ElfSpec& e) { e.version = 0; })},
      {"wrong header size", with([](ElfSpec& e) { e.ehsize = 64; })},
      {"bad magic", magic},
      {"51 bytes", [] { Bytes b = ElfImage({}); b.resize(51); return b; }()},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("bad.elf"), c.image);
    EXPECT_EQ(CodeOf([&] { CGarnexElfFile f(path.c_str()); }), 865u);
  }
}

TEST(GarnexElfFile, BlocksFollowLoadableSegments) {
  TempDir dir;
  const Bytes a = Pattern(2500, 1), b = Pattern(100, 2), skipped = Pattern(50, 3);
  const struct {
    const char* what;
    std::vector<ElfSegment> segments;
    std::vector<Block> blocks;
    Bytes data;
  } cases[] = {
      {"2500 bytes in one segment", {{1, 5, 0x100000, a}}, {{0x100000, 1024}, {0x100400, 1024}, {0x100800, 452}}, a},
      {"only segment without flags", {{1, 0, 0x1000, a}}, {}, {}},
      {"first segment not loadable", {{4, 5, 0x1000, skipped}, {1, 5, 0x2000, b}}, {{0x2000, 100}}, b},
      {"first segment without flags", {{1, 0, 0x1000, skipped}, {1, 6, 0x2000, b}}, {{0x2000, 100}}, b},
      {"empty segment between two",
       {{1, 5, 0x3000, b}, {1, 5, 0x9000, {}}, {1, 5, 0x2000, b}},
       {{0x3000, 100}, {0x2000, 100}},
       [&] { Bytes d = b; d.insert(d.end(), b.begin(), b.end()); return d; }()},
      {"no program headers", {}, {}, {}},
      {"segment running past 4 GiB", {{1, 5, 0xFFFFFF00u, a}}, {{0xFFFFFF00u, 256}}, Bytes(a.begin(), a.begin() + 256)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("fw.elf"), ElfImage(c.segments));
    CGarnexElfFile f(path.c_str());
    EXPECT_TRUE(f.Verify());
    f.Rewind();
    Bytes data;
    EXPECT_TRUE(AllBlocks(f, &data) == c.blocks);
    EXPECT_EQ(data, c.data);
    // A second pass after Rewind delivers the same.
    f.Rewind();
    EXPECT_EQ(AllBlocks(f).size(), c.blocks.size());
  }
}

TEST(GarnexElfFile, ReadAtGathersAcrossSegments) {
  TempDir dir;
  const Bytes a = Pattern(300, 1), b = Pattern(300, 2);
  const std::string path = WriteFile(dir.File("fw.elf"), ElfImage({{1, 5, 0x1000, a}, {2, 5, 0x5000, Pattern(16)}, {1, 5, 0x112C, b}}));
  CGarnexElfFile f(path.c_str());
  EXPECT_EQ(f.GetLength(), 52u + 3 * 32 + 616);
  Bytes got(20, 0xEE);
  ASSERT_TRUE(f.ReadAt(0x1000 + 290, got.data(), 20)) << "10 bytes of each segment";
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 10), Bytes(a.end() - 10, a.end()));
  EXPECT_EQ(Bytes(got.begin() + 10, got.end()), Bytes(b.begin(), b.begin() + 10));
  EXPECT_TRUE(f.ReadAt(0x1000, got.data(), 0));
  EXPECT_FALSE(f.ReadAt(0x112C + 290, got.data(), 20)) << "runs past the last segment";
  EXPECT_FALSE(f.ReadAt(0x5000, got.data(), 16)) << "only a segment that is not loadable covers it";
  EXPECT_FALSE(f.ReadAt(0xFFFFFFF0u, got.data(), 20));
  EXPECT_FALSE(f.ReadAt(0x0FFF, got.data(), 2));
}

TEST(GarnexElfFile, IdentityRecordAtItsLoadAddress) {
  TempDir dir;
  const std::string path =
      WriteFile(dir.File("fw.elf"), ElfImage({{1, 5, 0x0, Pattern(0x40)}, {1, 5, 0x2FF0, WithBlock(Pattern(0x100, 4), 0x10)}}));
  CGarnexElfFile f(path.c_str());
  CGarnexEmbeddedInfo info;
  f.ReadEmbeddedInfo(info);
  EXPECT_EQ(info.GetName(), "KELVOR ");
  EXPECT_EQ(info.GetVersion(), 430);
  // Sequential reading starts over afterwards.
  const std::vector<Block> blocks = AllBlocks(f);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].address, 0u);

  const std::string other = WriteFile(dir.File("none.elf"), ElfImage({{1, 5, 0x0, Pattern(0x40)}}));
  CGarnexElfFile g(other.c_str());
  EXPECT_EQ(CodeOf([&] { g.ReadEmbeddedInfo(info); }), 852u);
}

TEST(GarnexElfFile, HeadersPointingAnywhere) {
  TempDir dir;
  const struct {
    const char* what;
    size_t field;
    std::uint32_t value;
    int width;
  } cases[] = {
      {"e_phoff past the end", 28, 0xFFFFFF00u, 4},
      {"e_phnum huge", 44, 0xFFFF, 2},
      {"e_phentsize 0", 42, 0, 2},
      {"p_offset past the end", 52 + 4, 0x7FFFFFF0u, 4},
      {"p_filesz past the end", 52 + 16, 0xFFFFFFF0u, 4},
      {"p_vaddr at the top", 52 + 8, 0xFFFFFFF0u, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = ElfImage({{1, 5, 0x1000, Pattern(200)}});
    if (c.width == 4) PutBE32(image, c.field, c.value);
    else PutBE16(image, c.field, c.value);
    const std::string path = WriteFile(dir.File("odd.elf"), image);
    CGarnexElfFile f(path.c_str());
    f.Rewind();
    std::vector<Block> blocks = AllBlocks(f);
    EXPECT_LE(blocks.size(), 65535u);
    std::uint64_t total = 0;
    for (const Block& b : blocks) total += b.count;
    EXPECT_LE(total, image.size() * 65535);
    BYTE buf[64];
    f.ReadAt(0x1000, buf, sizeof buf);
    f.ReadAt(0xFFFFFFF0u, buf, 16);
  }
}

std::string Records(int n, std::uint32_t base = 0x1000) {
  std::string text;
  for (int i = 0; i < n; ++i) text += SRecordLine(1, base + 4 * static_cast<std::uint32_t>(i), Pattern(4, static_cast<std::uint8_t>(i))) + "\n";
  return text;
}

TEST(GarnexSRecFile, Validation) {
  TempDir dir;
  const std::string header = SRecordLine(0, 0, Bytes{'h', 'd', 'r'}) + "\n";
  const struct {
    const char* what;
    std::string text;
    bool valid;
  } cases[] = {
      {"six records", Records(6), true},
      {"five records", Records(5), false},
      {"five records and an end record", Records(5) + "S9030000FC\n", true},
      {"MD header first", "MD some header text\n" + Records(6), true},
      {"MD header after a record", Records(1) + "MD x\n" + Records(5), false},
      {"garbage first line", "hello\n" + Records(6), false},
      {"blank first line", "\n" + Records(6), false},
      {"CR LF line ends", [] { std::string t; for (int i = 0; i < 6; ++i) t += SRecordLine(1, 4 * i, Pattern(4)) + "\r\n"; return t; }(), true},
      {"six records, last without line end", Records(5) + SRecordLine(9, 0, {}), true},
      {"byte count not hex", "S1ZZ\n" + Records(6), false},
      {"count longer than the line", header + "S1FF0000\n" + Records(5), false},
      {"empty file", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("fw.s19"), c.text);
    if (c.valid) {
      CGarnexSRecFile f(path.c_str());
      EXPECT_TRUE(f.Verify());
      EXPECT_EQ(f.GetLength(), c.text.size());
    } else {
      EXPECT_EQ(CodeOf([&] { CGarnexSRecFile f(path.c_str()); }), 865u);
    }
  }
}

TEST(GarnexSRecFile, RecordsAndErrors) {
  TempDir dir;
  const Bytes sixteen = Pattern(16, 5);
  const std::string s3 = SRecordLine(3, 0x00200000, sixteen);
  ASSERT_EQ(s3.substr(0, 4), "S315");
  std::string corrupted = s3;
  corrupted[20] = corrupted[20] == 'A' ? 'B' : 'A';
  std::string lower = s3;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
  lower[0] = 'S';
  const std::string tooLong = SRecordLine(1, 0x10, Pattern(78));
  const std::string longest = SRecordLine(1, 0x10, Pattern(77));

  const struct {
    const char* what;
    std::string body;
    std::vector<Block> blocks;
    UINT error;
  } cases[] = {
      {"S3 with 16 data bytes", s3 + "\n", {{0x00200000, 16}}, 0},
      {"changed data character", corrupted + "\n", {}, 862},
      {"lower-case hex", lower + "\n", {{0x00200000, 16}}, 0},
      {"78 data bytes", tooLong + "\n", {}, 863},
      {"77 data bytes", longest + "\n", {{0x10, 77}}, 0},
      {"S9 does not end the data", "S9030000FC\n" + s3 + "\n", {{0x00200000, 16}}, 0},
      {"S4 ends the data", "S4030000FC\n" + s3 + "\n", {}, 0},
      {"S6 ends the data", "S6030000FC\n" + s3 + "\n", {}, 0},
      {"S2 and S1 addresses", SRecordLine(2, 0xABCDEF, Pattern(3)) + "\n" + SRecordLine(1, 0x1234, Pattern(2)) + "\n",
       {{0xABCDEF, 3}, {0x1234, 2}}, 0},
      {"non-record lines are skipped", "; comment\n\nX\n" + s3 + "\n", {{0x00200000, 16}}, 0},
      {"record cut short", "S3150020000000\n", {}, 862},
      {"no checksum", "S1030010\n", {}, 862},
      {"count below the address", "S1010010\n", {}, 863},
      {"non-hex data", "S1050010ZZ00E0\n", {}, 862},
      {"a line of 5000 characters", "S105" + std::string(5000, '0') + "\n" + s3 + "\n", {}, 862},
      {"a line of 5000 characters, count 0", "S1" + std::string(5000, '0') + "\n", {}, 863},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("fw.srec"), Records(6, 0x5000) + c.body);
    CGarnexSRecFile f(path.c_str());
    // Step over the six validation records first.
    FlashBlock b;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(f.ReadNextBlock(b));
    std::vector<Block> blocks;
    const UINT error = CodeOf([&] { blocks = AllBlocks(f); });
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(blocks == c.blocks);
  }
}

// Lines are read where they lie in the 64 KiB read-ahead window; one that
// runs past its end is read in pieces, whatever character the edge falls on.
TEST(GarnexSRecFile, LinesAcrossTheReadAheadWindow) {
  TempDir dir;
  const Bytes image = Pattern(3000, 9);
  std::string crlf;
  for (char ch : SRecordData(0x1000, image)) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  const size_t line = crlf.find('\n') + 1;  // every line has the same length
  for (size_t shift = 0; shift < line; ++shift) {
    SCOPED_TRACE(shift);
    // A comment line that puts the window's edge `shift` characters into a record line.
    const size_t before = 65536 - shift;
    std::string text = Records(6) + ";";
    text += std::string(before - text.size() - 2, 'x') + "\r\n" + crlf;
    const std::string path = WriteFile(dir.File("edge.srec"), text);
    CGarnexSRecFile f(path.c_str());
    Bytes data;
    const std::vector<Block> blocks = AllBlocks(f, &data);
    ASSERT_EQ(blocks.size(), 6u + (image.size() + 15) / 16);
    EXPECT_EQ(Bytes(data.end() - static_cast<std::ptrdiff_t>(image.size()), data.end()), image);
  }
}

}  // namespace
