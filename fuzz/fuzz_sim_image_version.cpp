// The virtual receiver's reading of an image's version on arbitrary bytes,
// under every extension it knows: it must find a version or none, never
// reading past what the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "sim/ImageVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::ImageVersion version;
  std::string error;
  for (const char* name : {"image.timg", "image.srec", "image.elf", "image.img"}) {
    const std::string path = FuzzInputFile(name, data, size);
    (void)sim::ImageVersion::FromFile(path, &version, &error);
    std::remove(path.c_str());
  }
  (void)sim::ImageVersion::FromContainer(std::vector<std::uint8_t>(data, data + size), &version);
  (void)sim::ImageVersion::Parse(std::string(reinterpret_cast<const char*>(data), size), &version);
  return 0;
}
