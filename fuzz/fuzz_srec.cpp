// Arbitrary text as an S-record image. Whatever data records it yields, written
// out again as S3 records, must read back as the same blocks.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzFile.h"
#include "firmware/GarnexSRecFile.h"
#include "firmware/LSFlashFileException.h"
#include "tests/support/FirmwareImages.h"

namespace {

struct Block {
  DWORD address;
  testsupport::Bytes bytes;
  bool operator==(const Block&) const = default;
};

// The blocks of `path`; false when the file is refused or a record is bad.
bool ReadBlocks(const std::string& path, std::vector<Block>& blocks) {
  try {
    CGarnexSRecFile file(path.c_str());
    FlashBlock b;
    while (file.ReadNextBlock(b)) {
      if (b.count == 0 || b.count > 77) std::abort();
      blocks.push_back({b.address, testsupport::Bytes(b.data, b.data + b.count)});
    }
    return true;
  } catch (const CLSFlashFileException& e) {
    if (e.GetCode() != 862 && e.GetCode() != 863 && e.GetCode() != 865) std::abort();
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzInputFile("fuzz_srec", data, size);
  std::vector<Block> blocks;
  const bool ok = ReadBlocks(path, blocks);
  std::remove(path.c_str());
  if (!ok) return 0;

  // Header records first so that even a file of few data records validates.
  std::string text;
  for (int i = 0; i < 6; ++i) text += testsupport::SRecordLine(0, 0, {'h'}) + "\n";
  for (const Block& b : blocks) text += testsupport::SRecordLine(3, b.address, b.bytes) + "\n";
  text += testsupport::SRecordLine(7, 0, {}) + "\n";
  const std::string again = testsupport::WriteFile(path + ".again", text);
  std::vector<Block> reread;
  if (!ReadBlocks(again, reread) || reread != blocks) std::abort();
  std::remove(again.c_str());
  return 0;
}
