// Arbitrary bytes as an image container. Every section the reader hands out
// must lie inside the file, and a container rebuilt from those sections must
// read back the same.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/GarnexEmbeddedInfo.h"
#include "fuzz/FuzzFile.h"
#include "firmware/LSFlashFileException.h"
#include "firmware/TimgFile.h"
#include "tests/support/FirmwareImages.h"

namespace {
bool Same(const TimgSection& a, const TimgSection& b) {
  return a.type == b.type && a.versionMajor == b.versionMajor && a.versionMinor == b.versionMinor &&
         a.length == b.length && a.flashAddress == b.flashAddress;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzInputFile("fuzz_timg", data, size);
  CTimgFile file(path.c_str());
  const WORD n = file.GetSectionCount();
  std::vector<TimgSection> sections;
  for (WORD i = 0; i < n && i < 16; ++i) {
    TimgSection s;
    if (!file.ReadSection(static_cast<BYTE>(i), s)) break;
    if (std::uint64_t{s.payloadOffset} + s.length > size) std::abort();
    sections.push_back(s);
  }
  for (BYTE code : {0x00, 0x3E, 0xFF}) {
    TimgSection s;
    if (file.FindMonitorSection(code, s) && std::uint64_t{s.payloadOffset} + s.length > size) std::abort();
  }
  TimgSection app;
  if (file.FindApplicationSection(app) && std::uint64_t{app.payloadOffset} + app.length > size) std::abort();
  CGarnexEmbeddedInfo info;
  try {
    file.ReadEmbeddedInfo(info);
  } catch (const CLSFlashFileException& e) {
    if (e.GetCode() != 852) std::abort();
  }
  file.Rewind();
  FlashBlock block;
  std::uint64_t total = 0;
  while (file.ReadNextBlock(block)) {
    if (block.count == 0 || block.count > FlashBlock::kCapacity) std::abort();
    total += block.count;
  }
  if (total != size) std::abort();

  // Rebuild the sections that read cleanly and read them back.
  if (sections.size() == n && n > 0) {
    std::vector<testsupport::TimgSectionSpec> specs;
    for (const TimgSection& s : sections) {
      testsupport::TimgSectionSpec spec{s.type, s.versionMajor, s.versionMinor, s.flashAddress, {}};
      spec.payload.resize(s.length);
      if (!file.ReadAt(s.payloadOffset, spec.payload.data(), s.length)) std::abort();
      specs.push_back(std::move(spec));
    }
    const std::vector<std::uint8_t> image = testsupport::TimgImage(specs);
    const std::string again = FuzzInputFile("fuzz_timg_again", image.data(), image.size());
    CTimgFile rebuilt(again.c_str());
    for (size_t i = 0; i < sections.size(); ++i) {
      TimgSection s;
      if (!rebuilt.ReadSection(static_cast<BYTE>(i), s) || !Same(s, sections[i])) std::abort();
    }
    std::remove(again.c_str());
  }
  file.Close();
  std::remove(path.c_str());
  return 0;
}
