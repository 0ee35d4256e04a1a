// Adler-32 (RFC 1950), folded in pieces.
#pragma once
#include <cstddef>
#include <cstdint>

class CAdler32 {
 public:
  void Update(const void* data, size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
      s1_ = (s1_ + p[i]) % kModulus;
      s2_ = (s2_ + s1_) % kModulus;
    }
  }
  std::uint32_t Value() const { return (s2_ << 16) | s1_; }

 private:
  static constexpr std::uint32_t kModulus = 65521;
  std::uint32_t s1_ = 1;
  std::uint32_t s2_ = 0;
};
