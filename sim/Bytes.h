// Big-endian fields and hex text, as the virtual receiver's records, replies
// and notes use them.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sim {

inline void PutBe(std::vector<std::uint8_t>& d, std::size_t at, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}

inline void PutText(std::vector<std::uint8_t>& d, std::size_t at, const std::string& text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) d[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

inline std::uint32_t GetBe(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | d[at + static_cast<std::size_t>(i)];
  return v;
}

inline std::string Hex(std::uint8_t b) {
  char t[8];
  std::snprintf(t, sizeof t, "0x%02X", b);
  return t;
}

}  // namespace sim
