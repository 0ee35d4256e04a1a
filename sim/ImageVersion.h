// The application version a firmware file states, read the way the virtual
// receiver reads what it is given, apart from the plug-in's own readers: the
// application section of an image container (".timg"); the 36-byte identity
// block of an application image, 0x43000 into it (S-records, by target
// address) or at address 0x3000 of an ELF image, which is linked 0x40000
// higher; the identity block at the head of a platform image (".img").
// Files are read in pieces, so a large image costs no memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct ImageVersion {
  unsigned major = 0;
  unsigned minor = 0;

  // "4.80".
  std::string Text() const;
  bool operator==(const ImageVersion& other) const { return major == other.major && minor == other.minor; }

  // Where an application image carries its identity block; a platform image
  // carries it at its head.
  static constexpr std::uint32_t kIdentityOffset = 0x43000;
  static constexpr std::uint32_t kElfIdentityAddress = 0x3000;
  static constexpr std::uint32_t kPlatformIdentityOffset = 0;
  static constexpr std::size_t kIdentitySize = 36;

  // The version of the file at `path`, chosen by its extension; false with
  // `error` when the file cannot be read or states no version this reader knows.
  static bool FromFile(const std::string& path, ImageVersion* out, std::string* error);
  // The application section's version of an image container's bytes.
  static bool FromContainer(const std::vector<std::uint8_t>& bytes, ImageVersion* out);
  // The version an identity block holds; false for an erased or empty block
  // and for bytes that are no identity block (no printable platform name at
  // 20..26, no month 1..12 at 4 or no day 1..31 at 5), such as the image
  // bytes where another format keeps its block.
  static bool FromIdentity(const std::uint8_t* block, std::size_t size, ImageVersion* out);
  // "4.80" or "04.80" as a version; false for any other text.
  static bool Parse(const std::string& text, ImageVersion* out);
};

}  // namespace sim
