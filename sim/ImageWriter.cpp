#include "sim/ImageWriter.h"

#include <cstdio>

#include "sim/Bytes.h"

namespace sim {

std::vector<std::uint8_t> ImageWriter::Identity(const IdentityBlock& id) {
  std::vector<std::uint8_t> b(36, 0);
  PutBe(b, 0, id.version, 2);
  PutBe(b, 2, id.year, 2);
  b[4] = id.month;
  b[5] = id.day;
  b[6] = id.config;
  b[7] = id.released;
  PutBe(b, 8, id.value8, 4);
  PutBe(b, 12, id.imageSize, 4);
  PutBe(b, 16, id.checksum, 4);
  std::string name = id.name;
  name.resize(7, ' ');
  for (std::size_t i = 0; i < 7; ++i) b[20 + i] = static_cast<std::uint8_t>(name[i]);
  PutBe(b, 28, id.compressSize, 4);
  PutBe(b, 32, id.adler, 4);
  return b;
}

std::vector<std::uint8_t> ImageWriter::Application(const IdentityBlock& id, std::size_t size) {
  std::vector<std::uint8_t> image(std::max<std::size_t>(size, kIdentityOffset + 36));
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
  IdentityBlock withSize = id;
  withSize.imageSize = static_cast<std::uint32_t>(image.size());
  const auto block = Identity(withSize);
  std::copy(block.begin(), block.end(), image.begin() + kIdentityOffset);
  return image;
}

std::vector<std::uint8_t> ImageWriter::Timg(const std::vector<ImageSection>& sections) {
  std::vector<std::uint8_t> out(0x6C + 84 * sections.size(), 0);
  PutBe(out, 0x16, sections.size(), 2);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t e = 0x6C + 84 * i;
    PutBe(out, e, sections[i].type, 2);
    out[e + 4] = sections[i].major;
    out[e + 5] = sections[i].minor;
    PutBe(out, e + 8, sections[i].payload.size(), 4);
    PutBe(out, e + 0x10, sections[i].address, 4);
  }
  for (const auto& s : sections) out.insert(out.end(), s.payload.begin(), s.payload.end());
  return out;
}

std::string ImageWriter::SRecord(const std::vector<std::uint8_t>& image, std::uint32_t base) {
  auto record = [](char type, std::uint32_t address, int addressBytes, const std::uint8_t* data, std::size_t n) {
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(addressBytes + n + 1));
    for (int i = addressBytes - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data, data + n);
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = std::string("S") + type;
    char hex[3];
    for (auto b : bytes) {
      std::snprintf(hex, sizeof hex, "%02X", b);
      line += hex;
    }
    return line + "\n";
  };
  static const std::uint8_t header[] = {'q', 'z', '7', 'x', 'x'};
  std::string text = record('0', 0, 2, header, sizeof header);
  for (std::size_t off = 0; off < image.size(); off += 16)
    text += record('3', base + static_cast<std::uint32_t>(off), 4, image.data() + off, std::min<std::size_t>(16, image.size() - off));
  return text + record('7', base, 4, nullptr, 0);
}

std::vector<std::uint8_t> ImageWriter::Elf(const std::vector<std::uint8_t>& image, std::uint32_t vaddr) {
  std::vector<std::uint8_t> e(52 + 32, 0);
  e[0] = 0x7F;
  e[1] = 'E';
  e[2] = 'L';
  e[3] = 'F';
  e[4] = 1;  // 32-bit
  e[5] = 2;  // big-endian
  e[6] = 1;
  PutBe(e, 16, 2, 2);   // executable
  PutBe(e, 18, 20, 2);  // PowerPC
  PutBe(e, 20, 1, 4);
  PutBe(e, 24, vaddr, 4);
  PutBe(e, 28, 52, 4);  // program headers right after the header
  PutBe(e, 40, 52, 2);
  PutBe(e, 42, 32, 2);
  PutBe(e, 44, 1, 2);
  PutBe(e, 46, 40, 2);
  PutBe(e, 52, 1, 4);               // PT_LOAD
  PutBe(e, 56, 84, 4);              // offset
  PutBe(e, 60, vaddr, 4);
  PutBe(e, 64, vaddr, 4);
  PutBe(e, 68, image.size(), 4);
  PutBe(e, 72, image.size(), 4);
  PutBe(e, 76, 5, 4);               // read + execute
  PutBe(e, 80, 4, 4);
  e.insert(e.end(), image.begin(), image.end());
  return e;
}

std::uint32_t ImageWriter::Adler32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t s1 = 1, s2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    s1 = (s1 + data[i]) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  return s2 << 16 | s1;
}

std::vector<std::uint8_t> ImageWriter::Img(IdentityBlock id, const std::vector<std::uint8_t>& body) {
  id.adler = Adler32(body.data(), body.size());
  std::vector<std::uint8_t> out = Identity(id);
  out.resize(256, 0);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace sim
