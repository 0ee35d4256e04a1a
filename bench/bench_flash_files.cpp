// Reading 32 MiB images block by block, against an outside tool doing the
// same job on the same file in the same run: objcopy converting the S-record
// text to binary, and cp copying the ELF executable.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/GarnexSRecFile.h"
#include "sim/ImageWriter.h"

namespace {

constexpr std::size_t kImageSize = 32u << 20;
constexpr std::uint32_t kLoadAddress = 0x40000;

struct Images {
  bench::ScratchDir dir;
  std::string srecLf, srecCrlf, elf, out;
  Images() {
    const std::vector<std::uint8_t> image = sim::ImageWriter::Application({}, kImageSize);
    const std::string lf = sim::ImageWriter::SRecord(image, kLoadAddress);
    std::string crlf;
    crlf.reserve(lf.size() + lf.size() / 40);
    for (char c : lf) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    srecLf = bench::WriteFile(dir.File("image-lf.s19"), lf);
    srecCrlf = bench::WriteFile(dir.File("image-crlf.s19"), crlf);
    elf = bench::WriteFile(dir.File("image.elf"), sim::ImageWriter::Elf(image, kLoadAddress));
    out = dir.File("out.bin");
  }
};

const Images& Files() {
  static const Images images;
  return images;
}

template <typename File>
void ReadAllBlocks(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    File file(path.c_str());
    FlashBlock block;
    std::uint64_t bytes = 0;
    while (file.ReadNextBlock(block)) {
      bytes += block.count;
      benchmark::DoNotOptimize(block.data);
    }
    if (bytes != kImageSize) {
      state.SkipWithError("the reader did not deliver the whole image");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}

void RunAnchor(benchmark::State& state, const std::vector<std::string>& argv) {
  for (auto _ : state) {
    if (!bench::RunTool(argv)) {
      state.SkipWithError(("the anchor failed: " + argv[0]).c_str());
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}

void BM_SRec_Read(benchmark::State& state, bool crlf) {
  ReadAllBlocks<CGarnexSRecFile>(state, crlf ? Files().srecCrlf : Files().srecLf);
}
void BM_SRec_Objcopy(benchmark::State& state, bool crlf) {
  RunAnchor(state, {"objcopy", "-I", "srec", "-O", "binary", crlf ? Files().srecCrlf : Files().srecLf, Files().out});
}
void BM_Elf_Read(benchmark::State& state) { ReadAllBlocks<CGarnexElfFile>(state, Files().elf); }
void BM_Elf_Cp(benchmark::State& state) { RunAnchor(state, {"cp", Files().elf, Files().out}); }

BENCHMARK_CAPTURE(BM_SRec_Read, LF, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SRec_Objcopy, LF, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SRec_Read, CRLF, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SRec_Objcopy, CRLF, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Elf_Read)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Elf_Cp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithRatios(argc, argv,
                              {{"BM_SRec_Read/LF/real_time", "BM_SRec_Objcopy/LF/real_time", "<= 0.5"},
                               {"BM_SRec_Read/CRLF/real_time", "BM_SRec_Objcopy/CRLF/real_time", "<= 0.5"},
                               {"BM_Elf_Read/real_time", "BM_Elf_Cp/real_time", "<= 2"}});
}
