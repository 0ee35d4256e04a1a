// Every Adler-32 kernel against the plain definition (both sums reduced after
// every byte), over lengths around the vector width and the deferred-modulo
// run, at every alignment, with bytes that push the sums hardest, and folded
// in uneven pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/Adler32.h"
#include "support/FirmwareImages.h"

namespace {

using testsupport::Bytes;

std::uint32_t Reference(const std::uint8_t* p, std::size_t n, std::uint32_t adler = 1) {
  std::uint32_t a = adler & 0xFFFF, s = adler >> 16;
  for (std::size_t i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    s = (s + a) % 65521;
  }
  return (s << 16) | a;
}

Bytes Noise(std::size_t size, std::uint32_t seed) {
  Bytes b(size);
  for (auto& v : b) v = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
  return b;
}

using Kernel = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);
struct NamedKernel {
  const char* name;
  Kernel fold;
};
const NamedKernel kKernels[] = {
    {"dispatched", &CAdler32::Fold}, {"scalar", &CAdler32::FoldScalar}, {"vector", &CAdler32::FoldVector}};

TEST(Adler32, EveryKernelMatchesTheDefinitionOnEveryLengthAndAlignment) {
  const std::size_t run = CAdler32::kMaxDeferred;
  const std::vector<std::size_t> lengths = {0,       1,       7,       31,      32,      33,      63,
                                            64,      65,      255,     1000,    run - 1, run,     run + 1,
                                            run + 31, 2 * run, 2 * run + 33, 100000};
  const Bytes noise = Noise(100000 + 64, 7);
  const Bytes ones(100000 + 64, 0xFF);  // the largest sums the kernels must carry
  for (const Bytes* source : {&noise, &ones}) {
    for (std::size_t length : lengths) {
      for (std::size_t align = 0; align < 33; ++align) {
        const std::uint8_t* p = source->data() + align;
        const std::uint32_t want = Reference(p, length);
        for (const NamedKernel& k : kKernels) {
          ASSERT_EQ(k.fold(1, p, length), want)
              << k.name << " length " << length << " alignment " << align << (source == &ones ? " 0xFF" : " noise");
        }
      }
    }
  }
}

TEST(Adler32, FoldingInPiecesGivesTheValueOfTheWhole) {
  const Bytes bytes = Noise(3 * CAdler32::kMaxDeferred + 77, 11);
  const std::uint32_t whole = Reference(bytes.data(), bytes.size());
  const std::vector<std::vector<std::size_t>> cuts = {
      {1}, {31, 1, 64}, {CAdler32::kMaxDeferred - 1, 2}, {4096}, {100, 5000, 33, 1}};
  for (const auto& pattern : cuts) {
    CAdler32 adler;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
      const std::size_t n = std::min(pattern[i % pattern.size()], bytes.size() - at);
      adler.Update(bytes.data() + at, n);
      at += n;
    }
    EXPECT_EQ(adler.Value(), whole) << "first piece " << pattern.front();
  }
  // A running value near the modulus on both sums must carry over correctly.
  const std::uint32_t high = (65520u << 16) | 65520u;
  for (const NamedKernel& k : kKernels)
    EXPECT_EQ(k.fold(high, bytes.data(), bytes.size()), Reference(bytes.data(), bytes.size(), high)) << k.name;
}

TEST(Adler32, KnownValues) {
  const std::string text = "Wikipedia";
  CAdler32 a;
  a.Update(text.data(), text.size());
  EXPECT_EQ(a.Value(), 0x11E60398u);
  EXPECT_EQ(CAdler32().Value(), 1u);
}

}  // namespace
