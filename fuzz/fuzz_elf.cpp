// Arbitrary bytes as an executable image: refused with 865 or walked to its
// end with blocks that never exceed their buffer, each readable again by address.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzFile.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/LSFlashFileException.h"
#include "device/GarnexEmbeddedInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzInputFile("fuzz_elf", data, size);
  try {
    CGarnexElfFile file(path.c_str());
    if (!file.Verify()) std::abort();
    file.Rewind();
    FlashBlock block;
    BYTE again[FlashBlock::kCapacity];
    for (int i = 0; i < 4096 && file.ReadNextBlock(block); ++i) {
      if (block.count == 0 || block.count > FlashBlock::kCapacity) std::abort();
      // Every delivered byte lies in some loadable segment.
      if (!file.ReadAt(block.address, again, block.count)) std::abort();
    }
    CGarnexEmbeddedInfo info;
    try {
      file.ReadEmbeddedInfo(info);
    } catch (const CLSFlashFileException& e) {
      if (e.GetCode() != 852) std::abort();
    }
  } catch (const CLSFlashFileException& e) {
    if (e.GetCode() != 865) std::abort();
  }
  std::remove(path.c_str());
  return 0;
}
