// Arbitrary bytes as a flat application image: the check either fails with
// 852 or agrees with an independent Adler-32 of the body.
#include <cstdint>
#include <cstdlib>

#include "device/GarnexEmbeddedInfo.h"
#include "fuzz/FuzzFile.h"
#include "firmware/HopsaFile.h"
#include "firmware/LSFlashFileException.h"
#include "tests/support/FirmwareImages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzInputFile("fuzz_img", data, size);
  CHopsaFile file(path.c_str());
  try {
    const bool verified = file.Verify();
    CGarnexEmbeddedInfo info;
    file.ReadEmbeddedInfo(info);
    const testsupport::Bytes bytes(data, data + size);
    const std::uint32_t body = size > 256 ? testsupport::Adler32(bytes, 256) : 1;
    if (verified != (body == info.GetAdlerChecksum())) std::abort();
  } catch (const CLSFlashFileException& e) {
    if (e.GetCode() != 852) std::abort();
  }
  FlashBlock block;
  while (file.ReadNextBlock(block))
    if (block.count == 0 || block.count > FlashBlock::kCapacity) std::abort();
  file.Close();
  std::remove(path.c_str());
  return 0;
}
