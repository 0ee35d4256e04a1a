// Peak memory of reading an image block by block, as an update does, for a
// 4 MiB and a 64 MiB image of each format. Each read runs in its own child
// process, whose peak resident size the kernel reports at wait4(); the
// images are made in other children so that the parent stays small.
//
//   peak_memory            the table, for every format
//   peak_memory elf|srec|img|whole 4 64 ...   chosen formats and sizes (MiB)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/GarnexSRecFile.h"
#include "firmware/HopsaFile.h"
#include "firmware/LSFlashFileException.h"
#include "sim/ImageWriter.h"

namespace {

constexpr std::uint32_t kLoadAddress = 0x40000;

void Make(const std::string& format, std::size_t size, const std::string& path) {
  const std::vector<std::uint8_t> image = sim::ImageWriter::Application({}, size);
  if (format == "elf") bench::WriteFile(path, sim::ImageWriter::Elf(image, kLoadAddress));
  else if (format == "srec") bench::WriteFile(path, sim::ImageWriter::SRecord(image, kLoadAddress));
  else {
    sim::IdentityBlock id;
    id.name = "KELVOR ";  // a platform the identity record accepts
    bench::WriteFile(path, sim::ImageWriter::Img(id, image));
  }
}

std::unique_ptr<CLSFlashFile> Open(const std::string& format, const std::string& path) {
  if (format == "elf") return std::make_unique<CGarnexElfFile>(path.c_str());
  if (format == "srec") return std::make_unique<CGarnexSRecFile>(path.c_str());
  return std::make_unique<CHopsaFile>(path.c_str());
}

// Verifies, then reads every block; exit status 0 when the whole image came.
// "whole" is the control: the image read into memory at once, which must
// show as growth, or the figures above say nothing.
int Read(const std::string& format, std::size_t size, const std::string& path) {
  if (format == "whole") {
    std::vector<char> all(size + 256);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    const std::size_t got = f ? std::fread(all.data(), 1, all.size(), f) : 0;
    if (f) std::fclose(f);
    return got >= size ? 0 : 2;
  }
  try {
    std::unique_ptr<CLSFlashFile> file = Open(format, path);
    if (!file->Verify()) return 3;
    file->Rewind();
    FlashBlock block;
    std::size_t bytes = 0;
    while (file->ReadNextBlock(block)) bytes += block.count;
    return bytes >= size ? 0 : 2;
  } catch (const CLSFlashFileException& e) {
    std::fprintf(stderr, "%s: error %u\n", path.c_str(), e.GetCode());
    return 4;
  }
}

// Runs `work` in a child; its exit status and peak resident size in KiB.
template <typename Work>
int InChild(Work work, long* peakKiB) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(work());
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return -1;
  if (peakKiB) *peakKiB = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> formats;
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::isdigit(static_cast<unsigned char>(argv[i][0]))) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    else formats.emplace_back(argv[i]);
  }
  if (formats.empty()) formats = {"elf", "srec", "img", "whole"};
  if (sizes.empty()) sizes = {4, 64};

  bench::ScratchDir dir;
  long idle = 0;
  InChild([] { return 0; }, &idle);
  std::printf("peak resident size of a child that does nothing: %ld KiB\n\n", idle);
  std::printf("%-6s %10s %14s %16s\n", "format", "image MiB", "peak KiB", "above idle KiB");
  int failures = 0;
  for (const std::string& format : formats) {
    long first = -1;
    for (std::size_t mib : sizes) {
      const std::size_t size = mib << 20;
      const std::string path = dir.File("image." + format);
      if (InChild([&] { Make(format, size, path); return 0; }, nullptr) != 0) {
        std::printf("%-6s %10zu  could not make the image\n", format.c_str(), mib);
        ++failures;
        continue;
      }
      long peak = 0;
      const int rc = InChild([&] { return Read(format, size, path); }, &peak);
      ::unlink(path.c_str());
      if (rc != 0) {
        std::printf("%-6s %10zu  reading failed (status %d)\n", format.c_str(), mib, rc);
        ++failures;
        continue;
      }
      std::printf("%-6s %10zu %14ld %16ld", format.c_str(), mib, peak, peak - idle);
      if (first < 0) first = peak;
      else std::printf("   growth over the first size: %ld KiB", peak - first);
      std::printf("\n");
    }
  }
  return failures == 0 ? 0 : 1;
}
