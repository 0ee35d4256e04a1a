#include "firmware/Adler32.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QZ_ADLER_AVX2 1
#endif

namespace {

constexpr std::uint32_t kMod = CAdler32::kModulus;
constexpr std::size_t kRun = CAdler32::kMaxDeferred;

}  // namespace

std::uint32_t CAdler32::FoldScalar(std::uint32_t adler, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  while (size > 0) {
    std::size_t run = std::min(size, kRun);
    size -= run;
    for (; run >= 8; run -= 8, p += 8) {
      s1 += p[0]; s2 += s1;
      s1 += p[1]; s2 += s1;
      s1 += p[2]; s2 += s1;
      s1 += p[3]; s2 += s1;
      s1 += p[4]; s2 += s1;
      s1 += p[5]; s2 += s1;
      s1 += p[6]; s2 += s1;
      s1 += p[7]; s2 += s1;
    }
    for (; run > 0; --run) {
      s1 += *p++;
      s2 += s1;
    }
    s1 %= kMod;
    s2 %= kMod;
  }
  return (s2 << 16) | s1;
}

#ifdef QZ_ADLER_AVX2

namespace {

__attribute__((target("avx2"))) std::uint64_t Sum32(__m256i v) {
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
  std::uint64_t sum = 0;
  for (std::uint32_t lane : lanes) sum += lane;
  return sum;
}

// Per 32-byte block: s2 gains 32 * s1 plus the bytes weighted 32 .. 1, s1
// gains the bytes. The s1 before each block is gathered in `prefix`, so the
// lanes only ever add; the modulo comes once per run.
__attribute__((target("avx2"))) std::uint32_t FoldAvx2(std::uint32_t adler, const std::uint8_t* p,
                                                       std::size_t size) {
  std::uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17,
                                           16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i zero = _mm256_setzero_si256();
  while (size >= 32) {
    std::size_t blocks = std::min(size, kRun) / 32;
    size -= blocks * 32;
    const std::uint64_t runBytes = blocks * 32;
    __m256i sums = zero, prefix = zero, weighted = zero;
    for (; blocks > 0; --blocks, p += 32) {
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      prefix = _mm256_add_epi32(prefix, sums);
      sums = _mm256_add_epi32(sums, _mm256_sad_epu8(bytes, zero));
      weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
    }
    s2 = (s2 + s1 * runBytes + 32 * Sum32(prefix) + Sum32(weighted)) % kMod;
    s1 = (s1 + Sum32(sums)) % kMod;
  }
  return CAdler32::FoldScalar(static_cast<std::uint32_t>((s2 << 16) | s1), p, size);
}

}  // namespace

bool CAdler32::HasVectorKernel() { return __builtin_cpu_supports("avx2"); }

std::uint32_t CAdler32::FoldVector(std::uint32_t adler, const void* data, std::size_t size) {
  if (!HasVectorKernel()) return FoldScalar(adler, data, size);
  return FoldAvx2(adler, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t CAdler32::Fold(std::uint32_t adler, const void* data, std::size_t size) {
  // Below a few blocks the set-up costs more than the vectors save.
  if (size >= 64 && HasVectorKernel()) return FoldAvx2(adler, static_cast<const std::uint8_t*>(data), size);
  return FoldScalar(adler, data, size);
}

#else

bool CAdler32::HasVectorKernel() { return false; }

std::uint32_t CAdler32::FoldVector(std::uint32_t adler, const void* data, std::size_t size) {
  return FoldScalar(adler, data, size);
}

std::uint32_t CAdler32::Fold(std::uint32_t adler, const void* data, std::size_t size) {
  return FoldScalar(adler, data, size);
}

#endif
