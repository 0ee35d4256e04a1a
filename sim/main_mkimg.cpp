// qz7xx-mkimg: writes test firmware images.
//   qz7xx-mkimg FORMAT OUT [--platform NAME] [--version N] [--size BYTES] [--monitor M.m]
// FORMAT is timg (monitor + application sections), srec, elf or img.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/ImageWriter.h"

namespace {
constexpr char kUsage[] =
    "usage: qz7xx-mkimg timg|srec|elf|img OUT [--platform NAME] [--version N] [--size BYTES]\n"
    "                   [--monitor MAJOR.MINOR]\n"
    "Writes a test firmware image that the virtual receiver accepts.\n"
    "  timg              an image container: a monitor and an application section\n"
    "  srec, elf         an application image as S-records or ELF\n"
    "  img               an opaque platform image\n"
    "  --platform NAME   the platform code name in its identity record (at most 7 characters)\n"
    "  --version N       the application version times 100 (420 is 4.20)\n"
    "  --size BYTES      the application's size (default 0x44000)\n"
    "  --monitor M.m     the monitor section's version (timg; default 3.21)\n"
    "  -h, --help        this text\n";

int Usage() {
  std::fprintf(stderr, "qz7xx-mkimg: wrong arguments (see qz7xx-mkimg --help)\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  if (argc < 3) return Usage();
  const std::string format = argv[1], out = argv[2];
  sim::IdentityBlock id;
  std::size_t size = 0x44000;
  unsigned monMajor = 3, monMinor = 21;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--platform" && value.size() <= 7) id.name = value;
    else if (arg == "--version") id.version = static_cast<std::uint16_t>(std::strtoul(value.c_str(), nullptr, 10));
    else if (arg == "--size") size = std::strtoul(value.c_str(), nullptr, 0);
    else if (arg == "--monitor" && std::sscanf(value.c_str(), "%u.%u", &monMajor, &monMinor) == 2) {}
    else return Usage();
  }
  if (size > (64u << 20)) return Usage();
  std::string text;
  std::vector<std::uint8_t> bytes;
  if (format == "timg") {
    sim::ImageSection monitor;
    monitor.type = 0;
    monitor.major = static_cast<std::uint8_t>(monMajor);
    monitor.minor = static_cast<std::uint8_t>(monMinor);
    monitor.address = 0x02400000;
    monitor.payload.assign(0x20000, 0x4D);
    sim::ImageSection app;
    app.major = static_cast<std::uint8_t>(id.version / 100);
    app.minor = static_cast<std::uint8_t>(id.version % 100);
    app.address = 0x02440000;
    // The container's application section begins with its identity block.
    app.payload = sim::ImageWriter::Identity(id);
    const auto body = sim::ImageWriter::Application(id, size);
    app.payload.insert(app.payload.end(), body.begin() + 36, body.end());
    bytes = sim::ImageWriter::Timg({monitor, app});
  } else if (format == "srec") {
    text = sim::ImageWriter::SRecord(sim::ImageWriter::Application(id, size), 0);
  } else if (format == "elf") {
    // The ELF reader finds the identity at address 0x3000: the image starts at -0x40000.
    const auto image = sim::ImageWriter::Application(id, size);
    bytes = sim::ImageWriter::Elf(std::vector<std::uint8_t>(image.begin() + 0x40000, image.end()), 0);
  } else if (format == "img") {
    std::vector<std::uint8_t> body(size);
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(i * 13);
    bytes = sim::ImageWriter::Img(id, body);
  } else {
    return Usage();
  }
  std::FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "qz7xx-mkimg: cannot write %s\n", out.c_str());
    return 1;
  }
  const bool ok = text.empty() ? std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size()
                               : std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "qz7xx-mkimg: error writing %s\n", out.c_str());
    return 1;
  }
  return 0;
}
