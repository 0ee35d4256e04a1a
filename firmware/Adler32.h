// Adler-32 (RFC 1950), folded in pieces.
//
// Images run to tens of megabytes and are checked before every update, so the
// fold defers the modulo over the longest run that cannot overflow and, where
// the processor has 256-bit integer vectors, works 32 bytes at a time. Every
// kernel gives the same value for every length and alignment.
#pragma once
#include <cstddef>
#include <cstdint>

class CAdler32 {
 public:
  static constexpr std::uint32_t kModulus = 65521;
  // The longest run whose sums fit 32 bits before the modulo is due.
  static constexpr std::size_t kMaxDeferred = 5552;

  void Update(const void* data, std::size_t size) { value_ = Fold(value_, data, size); }
  std::uint32_t Value() const { return value_; }

  // `adler` folded with `size` bytes by the fastest kernel this processor runs.
  static std::uint32_t Fold(std::uint32_t adler, const void* data, std::size_t size);
  // The kernels themselves, so that each can be checked against the others.
  static std::uint32_t FoldScalar(std::uint32_t adler, const void* data, std::size_t size);
  // Falls back to FoldScalar where the processor lacks the vector unit.
  static std::uint32_t FoldVector(std::uint32_t adler, const void* data, std::size_t size);
  static bool HasVectorKernel();

 private:
  std::uint32_t value_ = 1;
};
