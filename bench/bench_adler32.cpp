// The image check against zlib's adler32() on the same bytes, in the same run.
#include <cstdint>
#include <vector>

#include "BenchSupport.h"
#include "firmware/Adler32.h"
#ifdef QZ_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

std::vector<std::uint8_t> Bytes(std::size_t size) {
  std::vector<std::uint8_t> b(size);
  std::uint32_t x = 12345;
  for (auto& v : b) v = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return b;
}

template <typename Fold>
void Run(benchmark::State& state, Fold fold) {
  const auto bytes = Bytes(static_cast<std::size_t>(state.range(0)));
  std::uint32_t value = 0;
  for (auto _ : state) {
    value = fold(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Adler32_Image(benchmark::State& state) {
  Run(state, [](const std::uint8_t* p, std::size_t n) {
    CAdler32 a;
    a.Update(p, n);
    return a.Value();
  });
}
void BM_Adler32_Scalar(benchmark::State& state) {
  Run(state, [](const std::uint8_t* p, std::size_t n) { return CAdler32::FoldScalar(1, p, n); });
}
// The fold as it was first written: both sums reduced after every byte.
void BM_Adler32_Bytewise(benchmark::State& state) {
  Run(state, [](const std::uint8_t* p, std::size_t n) {
    std::uint32_t s1 = 1, s2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
      s1 = (s1 + p[i]) % CAdler32::kModulus;
      s2 = (s2 + s1) % CAdler32::kModulus;
    }
    return (s2 << 16) | s1;
  });
}
#ifdef QZ_HAVE_ZLIB
void BM_Adler32_Zlib(benchmark::State& state) {
  Run(state, [](const std::uint8_t* p, std::size_t n) {
    return static_cast<std::uint32_t>(adler32(adler32(0, nullptr, 0), p, static_cast<uInt>(n)));
  });
}
BENCHMARK(BM_Adler32_Zlib)->Arg(64 << 10)->Arg(16 << 20);
#endif
BENCHMARK(BM_Adler32_Image)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Adler32_Scalar)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Adler32_Bytewise)->Arg(16 << 20);

}  // namespace

// Ratios are zlib's time over ours: the speed-up, 1.0 or more is the goal.
int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv,
                              {{"BM_Adler32_Zlib/65536", "BM_Adler32_Image/65536", "speed-up >= 1 (stretch 4)"},
                               {"BM_Adler32_Zlib/16777216", "BM_Adler32_Image/16777216", "speed-up >= 1 (stretch 4)"},
                               {"BM_Adler32_Zlib/16777216", "BM_Adler32_Scalar/16777216", "scalar kernel alone"},
                               {"BM_Adler32_Zlib/16777216", "BM_Adler32_Bytewise/16777216", "per-byte modulo (before)"}});
}
