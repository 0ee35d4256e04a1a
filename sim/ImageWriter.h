// Test firmware images: the 36-byte embedded identity block, ".timg"
// containers with sections, S-record text and 32-bit big-endian ELF
// executables, and ".img" images with their Adler-32 head. All multi-byte
// fields are big-endian, as the receiver's tools write them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct IdentityBlock {
  std::uint16_t version = 410;  // major * 100 + minor
  std::uint16_t year = 2024;
  std::uint8_t month = 6, day = 1, config = 0, released = 1;
  std::uint32_t value8 = 0, imageSize = 0, checksum = 0;
  std::string name = "QZGARNX";  // platform code name, 7 characters
  std::uint32_t compressSize = 0, adler = 0;
};

struct ImageSection {
  std::uint16_t type = 2;  // 0 monitor, 1 monitor for the 0x3E/0x42/0x46 boards, 2 application
  std::uint8_t major = 4, minor = 10;
  std::uint32_t address = 0;
  std::vector<std::uint8_t> payload;
};

class ImageWriter {
 public:
  static constexpr std::uint32_t kIdentityOffset = 0x43000;

  static std::vector<std::uint8_t> Identity(const IdentityBlock& id);
  // An application image of `size` bytes (a counting pattern) with the identity at 0x43000.
  static std::vector<std::uint8_t> Application(const IdentityBlock& id, std::size_t size);
  static std::vector<std::uint8_t> Timg(const std::vector<ImageSection>& sections);
  // S0 header, S3 records of 16 data bytes from `base`, S7 end.
  static std::string SRecord(const std::vector<std::uint8_t>& image, std::uint32_t base);
  // One loadable segment holding `image` at `vaddr`.
  static std::vector<std::uint8_t> Elf(const std::vector<std::uint8_t>& image, std::uint32_t vaddr);
  // The identity block, its head padded to 256 bytes, then `body`; the check value is filled in.
  static std::vector<std::uint8_t> Img(IdentityBlock id, const std::vector<std::uint8_t>& body);
  static std::uint32_t Adler32(const std::uint8_t* data, std::size_t n);
};

}  // namespace sim
