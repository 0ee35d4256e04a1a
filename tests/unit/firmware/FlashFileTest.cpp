// The flash-file base, its exception, the image container and the flat and
// opaque image kinds.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

#include "afx/Ui.h"
#include "device/GarnexEmbeddedInfo.h"
#include "firmware/BlueToothFile.h"
#include "firmware/HopsaFile.h"
#include "firmware/LSFlashFileException.h"
#include "firmware/QMRBladeFWFile.h"
#include "firmware/TICBSLFile.h"
#include "firmware/TimgFile.h"
#include "plugin/GarnexApp.h"
#include "support/FirmwareImages.h"
#include "support/PluginTestEnv.h"
#include "support/TempDir.h"
#include "support/Throws.h"

namespace {

using namespace testsupport;

template <typename F>
UINT CodeOf(F&& f) {
  return testsupport::CodeOf<CLSFlashFileException>(std::forward<F>(f));
}


TEST(LSFlashFileException, TranslatesFileErrors) {
  const struct {
    int cause;
    UINT code;
  } cases[] = {
      {CFileException::none, 0},
      {CFileException::genericException, 850},
      {CFileException::fileNotFound, 853},
      {CFileException::badPath, 853},
      {CFileException::tooManyOpenFiles, 854},
      {CFileException::accessDenied, 855},
      {CFileException::sharingViolation, 855},
      {CFileException::lockViolation, 855},
      {CFileException::invalidFile, 856},
      {CFileException::badSeek, 857},
      {CFileException::hardIO, 858},
      {CFileException::diskFull, 859},
      {CFileException::endOfFile, 860},
      {CFileException::removeCurrentDir, 861},
      {CFileException::directoryFull, 861},
      {99, 861},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cause);
    EXPECT_EQ(CLSFlashFileException::CodeForFileError(c.cause), c.code);
    EXPECT_EQ(CodeOf([&] { CLSFlashFileException::ThrowForFileError(CFileException(c.cause), "f"); }), c.code);
  }
}

TEST(LSFlashFileException, MessagesNameCodeAndFile) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  const struct {
    UINT code;
    const char* start;
    const char* middle;
  } cases[] = {
      {850, "File failure! [850] - ", "error while reading the file /fw/a.timg."},
      {853, "File failure! [853] - ", "The file /fw/a.timg could not be found."},
      {858, "Hardware failure! [858] - ", "trying to access file /fw/a.timg."},
      {862, "File failure! [862] - ", "An error was found in the file /fw/a.timg."},
      {865, "File failure! [865] - ", "An error was found in the file /fw/a.timg."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const CString text = CLSFlashFileException(c.code, "/fw/a.timg").GetMessage();
    EXPECT_EQ(text.find(c.start), 0u) << text;
    EXPECT_NE(text.find(c.middle), std::string::npos) << text;
  }
  char small[12];
  EXPECT_TRUE(CLSFlashFileException(853, "/x").GetErrorMessage(small, sizeof small));
  EXPECT_STREQ(small, "File failur");

  test::RecordingUi ui;
  CLSFlashFileException(853, "/fw/b.img").ReportError(MB_ICONSTOP);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].flags & MB_SETFOREGROUND, MB_SETFOREGROUND);
  EXPECT_EQ(ui.boxes[0].flags & MB_ICONSTOP, MB_ICONSTOP);
  EXPECT_NE(ui.boxes[0].text.find("/fw/b.img could not be found"), std::string::npos);
}

TEST(FlashFileOpen, OpenFailuresAreTranslated) {
  TempDir dir;
  const std::string missing = dir.File("missing.timg");
  EXPECT_EQ(CodeOf([&] { CTimgFile f(missing.c_str()); }), 853u);
  EXPECT_EQ(CodeOf([&] { CHopsaFile f(dir.File("no/such/dir/x.img").c_str()); }), 853u);
  EXPECT_EQ(CodeOf([&] { CQMRBladeFWFile f(dir.Path().c_str()); }), 855u) << "a folder is no file";
  try {
    CTimgFile f(missing.c_str());
    FAIL();
  } catch (const CLSFlashFileException& e) {
    EXPECT_EQ(e.GetFileName(), missing);
  }
  if (::geteuid() != 0) {
    const std::string locked = WriteFile(dir.File("locked.tix"), Bytes{1, 2, 3});
    ::chmod(locked.c_str(), 0);
    EXPECT_EQ(CodeOf([&] { CTICBSLFile f(locked.c_str()); }), 855u);
  }
}

Bytes ApplicationPayload(const BlockSpec& spec = {}) { return WithBlock(Pattern(300, 7), 0, spec); }

TEST(TimgFile, SectionsAndPayloadOffsets) {
  TempDir dir;
  const std::vector<TimgSectionSpec> sections = {
      {0, 2, 5, 0x1000, Pattern(100, 1)},   // ordinary monitor
      {1, 2, 6, 0x2000, Pattern(50, 2)},    // monitor for the alternate boards
      {0, 9, 9, 0x3000, Pattern(10, 3)},    // a second ordinary monitor: never chosen
      {2, 4, 30, 0x10000, ApplicationPayload()},
      {2, 4, 31, 0x20000, Pattern(20, 4)},  // a second application: never chosen
  };
  const Bytes image = TimgImage(sections);
  const std::string path = WriteFile(dir.File("fw.timg"), image);
  CTimgFile f(path.c_str());
  ASSERT_EQ(f.GetSectionCount(), 5);
  const DWORD first = 0x6C + 84 * 5;
  const DWORD offsets[] = {first, first + 100, first + 150, first + 160, first + 460};
  for (WORD i = 0; i < 5; ++i) EXPECT_EQ(f.GetPayloadOffset(i), offsets[i]) << i;
  EXPECT_EQ(f.GetPayloadOffset(5), 0u);
  EXPECT_EQ(f.GetPayloadOffset(0xFFFF), 0u);

  TimgSection s;
  ASSERT_TRUE(f.ReadSection(1, s));
  EXPECT_EQ(std::make_tuple(s.type, s.reserved2, s.reserved3, s.versionMajor, s.versionMinor, s.length, s.reserved0C,
                            s.flashAddress, s.payloadOffset),
            std::make_tuple(1, 0xA2, 0xA3, 2, 6, 50u, 0xC0C0C0C0u, 0x2000u, first + 100));
  EXPECT_FALSE(f.ReadSection(5, s));

  const struct {
    BYTE code;
    DWORD address;
  } monitors[] = {{0x3E, 0x2000}, {0x42, 0x2000}, {0x46, 0x2000}, {0xFF, 0x1000}, {0x00, 0x1000}, {0x64, 0x1000}};
  for (const auto& m : monitors) {
    SCOPED_TRACE(int(m.code));
    TimgSection found;
    ASSERT_TRUE(f.FindMonitorSection(m.code, found));
    EXPECT_EQ(found.flashAddress, m.address);
  }
  ASSERT_TRUE(f.FindApplicationSection(s));
  EXPECT_EQ(std::make_tuple(s.flashAddress, s.versionMinor, s.payloadOffset),
            std::make_tuple(0x10000u, 30, first + 160));

  // The programming path reads a section's payload by its offset.
  Bytes payload(50);
  ASSERT_TRUE(f.ReadAt(offsets[1], payload.data(), 50));
  EXPECT_EQ(payload, Pattern(50, 2));
  EXPECT_FALSE(f.ReadAt(static_cast<DWORD>(image.size()) - 10, payload.data(), 11));
  EXPECT_FALSE(f.ReadAt(0xFFFFFFF0u, payload.data(), 4));

  CGarnexEmbeddedInfo info;
  f.ReadEmbeddedInfo(info);
  EXPECT_EQ(std::make_tuple(info.GetVersion(), info.GetName()), std::make_tuple(430, "KELVOR "));
  EXPECT_EQ(f.GetPosition(), 0u) << "the record is read between two rewinds";
}

TEST(TimgFile, AlternateBoardsNeverTakeAnOrdinaryMonitor) {
  TempDir dir;
  const std::string path = WriteFile(dir.File("m.timg"), TimgImage({{0, 1, 0, 0x1000, Pattern(8)}, {2, 1, 0, 0, ApplicationPayload()}}));
  CTimgFile f(path.c_str());
  TimgSection s;
  for (BYTE code : {0x3E, 0x42, 0x46}) EXPECT_FALSE(f.FindMonitorSection(code, s)) << int(code);
  EXPECT_TRUE(f.FindMonitorSection(0xFF, s));
}

TEST(TimgFile, BrokenContainers) {
  TempDir dir;
  struct Case {
    const char* what;
    Bytes image;
  };
  Bytes cutTable = TimgImage({{0, 1, 0, 0, Pattern(8)}, {2, 1, 0, 0, ApplicationPayload()}});
  cutTable.resize(0x6C + 84 + 40);
  const Case cases[] = {
      {"header only", Bytes(0x10, 0)},
      {"count larger than the table", TimgImage({{2, 1, 0, 0, ApplicationPayload()}}, 300)},
      {"table cut short", cutTable},
      {"lengths past 4 GiB",
       TimgImage({{0, 1, 0, 0, Pattern(8), 0xFFFFFF00u}, {0, 1, 0, 0, Pattern(8), 0xFFFFFF00u}, {2, 1, 0, 0, ApplicationPayload()}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("broken.timg"), c.image);
    CTimgFile f(path.c_str());
    TimgSection s;
    EXPECT_FALSE(f.FindApplicationSection(s));
    CGarnexEmbeddedInfo info;
    EXPECT_EQ(CodeOf([&] { f.ReadEmbeddedInfo(info); }), 852u);
  }
  // An application section whose record names no accepted platform.
  BlockSpec foreign;
  foreign.platform = "NOPLAT ";
  const std::string path = WriteFile(dir.File("foreign.timg"), TimgImage({{2, 1, 0, 0, ApplicationPayload(foreign)}}));
  CTimgFile f(path.c_str());
  CGarnexEmbeddedInfo info;
  EXPECT_EQ(CodeOf([&] { f.ReadEmbeddedInfo(info); }), 852u);
}

TEST(FlatFiles, SequentialBlocks) {
  TempDir dir;
  const struct {
    size_t size;
    std::vector<WORD> counts;
  } cases[] = {{0, {}}, {1, {1}}, {1024, {1024}}, {1025, {1024, 1}}, {2500, {1024, 1024, 452}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const Bytes content = Pattern(c.size);
    const std::string path = WriteFile(dir.File("flat.img"), content);
    for (int kind = 0; kind < 2; ++kind) {
      std::unique_ptr<CLSFlashFile> f;
      if (kind == 0) f = std::make_unique<CTimgFile>(path.c_str());
      else f = std::make_unique<CHopsaFile>(path.c_str());
      EXPECT_EQ(f->GetLength(), c.size);
      FlashBlock block;
      Bytes seen;
      std::vector<WORD> counts;
      while (f->ReadNextBlock(block)) {
        EXPECT_EQ(block.address, seen.size());
        seen.insert(seen.end(), block.data, block.data + block.count);
        counts.push_back(block.count);
      }
      EXPECT_EQ(block.count, 0) << "the end reports no bytes";
      EXPECT_EQ(counts, c.counts);
      EXPECT_EQ(seen, content);
      f->Rewind();
      EXPECT_EQ(f->ReadNextBlock(block), c.size > 0);
      EXPECT_EQ(block.address, 0u);
      EXPECT_TRUE(f->IsOpen());
      f->Close();
      EXPECT_FALSE(f->IsOpen());
    }
  }
}

TEST(HopsaFile, VerifiesTheBodyChecksum) {
  TempDir dir;
  const Bytes good = HopsaImage(Pattern(3000, 9));
  struct Case {
    const char* what;
    Bytes image;
    bool verified;
  };
  Bytes changedBody = good;
  changedBody[256] ^= 1;
  Bytes changedLast = good;
  changedLast.back() ^= 0x80;
  Bytes changedHead = good;
  changedHead[36] ^= 0xFF;
  changedHead[255] ^= 0xFF;
  BlockSpec one;
  one.adler = 1;
  BlockSpec wrongEmpty;
  wrongEmpty.adler = 2;
  const Case cases[] = {
      {"intact", good, true},
      {"body byte at 256 changed", changedBody, false},
      {"last body byte changed", changedLast, false},
      {"head bytes after the record changed", changedHead, true},
      {"empty body, check value 1", HopsaImage({}, one, false), true},
      {"empty body, other check value", HopsaImage({}, wrongEmpty, false), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("fw.img"), c.image);
    CHopsaFile f(path.c_str());
    EXPECT_EQ(f.Verify(), c.verified);
    EXPECT_EQ(f.IsVerified(), c.verified);
  }
}

TEST(HopsaFile, UnreadableRecord) {
  TempDir dir;
  BlockSpec foreign;
  foreign.platform = "NOPLAT ";
  const Bytes full = HopsaImage(Pattern(10));
  const struct {
    const char* what;
    Bytes image;
  } cases[] = {
      {"empty file", {}},
      {"shorter than the record", Bytes(full.begin(), full.begin() + 35)},
      {"foreign platform", HopsaImage(Pattern(10), foreign)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile(dir.File("bad.img"), c.image);
    CHopsaFile f(path.c_str());
    CGarnexEmbeddedInfo info;
    EXPECT_EQ(CodeOf([&] { f.ReadEmbeddedInfo(info); }), 852u);
    EXPECT_EQ(CodeOf([&] { f.Verify(); }), 852u);
  }
  const std::string path = WriteFile(dir.File("ok.img"), full);
  CHopsaFile f(path.c_str());
  CGarnexEmbeddedInfo info;
  f.ReadEmbeddedInfo(info);
  EXPECT_EQ(info.GetAdlerChecksum(), Adler32(Pattern(10)));
}

TEST(OpaqueFiles, AcceptAnythingAndDeliverNoBlocks) {
  TempDir dir;
  for (size_t size : {size_t{0}, size_t{5000}}) {
    const std::string path = WriteFile(dir.File("opaque"), Pattern(size));
    CQMRBladeFWFile blade(path.c_str());
    CTICBSLFile ti(path.c_str());
    CBlueToothFile bt(path.c_str());
    for (CLSFlashFile* f : std::initializer_list<CLSFlashFile*>{&blade, &ti, &bt}) {
      SCOPED_TRACE(size);
      EXPECT_FALSE(f->IsVerified());
      EXPECT_TRUE(f->Verify() && f->IsVerified());
      FlashBlock block;
      BYTE b[4];
      EXPECT_FALSE(f->ReadNextBlock(block) || f->ReadAt(0, b, 1));
      EXPECT_EQ(f->GetLength(), size);
      CGarnexEmbeddedInfo info;
      f->ReadEmbeddedInfo(info);
      EXPECT_EQ(info.GetVersion(), 0xFFFF);
    }
    // Their consumers read the bytes through the file operations.
    if (size > 0) {
      BYTE b[3];
      blade.Seek(100, CFile::begin);
      ASSERT_EQ(blade.Read(b, 3), 3u);
      EXPECT_EQ(b[0], Pattern(size)[100]);
      blade.Rewind();
      EXPECT_EQ(blade.GetPosition(), 0u);
      bt.Seek(100, CFile::begin);
      bt.Rewind();
      EXPECT_EQ(bt.GetPosition(), 100u) << "this kind leaves positioning to its consumer";
    }
  }
}

// Seeks inside the buffered window move within it; the rest go to the file.
// After each, the position and the bytes read must be the file's.
TEST(LSFlashFile, SeeksInsideAndOutsideTheBufferReadTheRightBytes) {
  TempDir dir;
  const Bytes content = Pattern(300000, 5);
  const std::string path = WriteFile(dir.File("seek.img"), content);
  CHopsaFile f(path.c_str());
  const struct {
    const char* what;
    std::int64_t offset;
    UINT from;
    std::uint64_t expected;  // position after the seek
    UINT read;               // bytes read after it
  } steps[] = {
      {"fills the window", 10, CFile::begin, 10, 100},
      {"forward inside", 5000, CFile::begin, 5000, 1024},
      {"backward inside", 3, CFile::begin, 3, 10},
      {"relative inside", 100, CFile::current, 113, 1},
      {"relative back to the window's start", -114, CFile::current, 0, 65536},
      {"exactly at the window's end", 65536, CFile::begin, 65536, 7},
      {"back into the previous window", 65000, CFile::begin, 65000, 1000},
      {"far ahead", 250000, CFile::begin, 250000, 2},
      {"from the end", -10, CFile::end, 299990, 10},
      {"start after a large direct read", 0, CFile::begin, 0, 200000},
      {"relative after the direct read", -5, CFile::current, 199995, 5},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    ASSERT_EQ(f.Seek(step.offset, step.from), step.expected);
    EXPECT_EQ(f.GetPosition(), step.expected);
    Bytes got(step.read);
    ASSERT_EQ(f.Read(got.data(), step.read), step.read);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), content.begin() + static_cast<std::ptrdiff_t>(step.expected)));
    EXPECT_EQ(f.GetPosition(), step.expected + step.read);
  }
}

}  // namespace
