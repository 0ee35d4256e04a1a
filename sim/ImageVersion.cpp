#include "sim/ImageVersion.h"

#include <cctype>
#include <cstdio>
#include <fstream>

namespace sim {

namespace {

constexpr std::size_t kContainerHead = 0x6C;
constexpr std::size_t kSectionEntry = 84;
constexpr std::size_t kMostSections = 63;
constexpr std::uint16_t kApplicationSection = 2;

std::uint32_t Be(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

std::string Extension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// `n` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::ifstream& in, std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>* out) {
  out->assign(n, 0);
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(n));
  return in && static_cast<std::size_t>(in.gcount()) == n;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The identity block's bytes from S1, S2 and S3 records, by target address.
bool SRecordIdentity(std::ifstream& in, std::vector<std::uint8_t>* block) {
  block->assign(ImageVersion::kIdentitySize, 0xFF);
  std::vector<bool> seen(ImageVersion::kIdentitySize, false);
  std::size_t found = 0;
  std::vector<std::uint8_t> bytes;
  for (std::string line; found < seen.size() && std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3' || line.size() % 2) continue;
    bytes.clear();
    bool ok = true;
    for (std::size_t i = 2; i + 1 < line.size() && ok; i += 2) {
      const int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
      ok = hi >= 0 && lo >= 0;
      bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    const int addressBytes = line[1] - '0' + 1;
    if (!ok || bytes.empty() || bytes[0] + 1u != bytes.size() || bytes.size() < static_cast<std::size_t>(addressBytes) + 2)
      continue;
    const std::uint64_t address = Be(bytes.data() + 1, addressBytes);
    const std::size_t data = 1 + static_cast<std::size_t>(addressBytes);
    for (std::size_t i = data; i + 1 < bytes.size(); ++i) {
      const std::uint64_t at = address + (i - data);
      if (at < ImageVersion::kIdentityOffset || at >= ImageVersion::kIdentityOffset + ImageVersion::kIdentitySize) continue;
      const std::size_t k = static_cast<std::size_t>(at - ImageVersion::kIdentityOffset);
      if (!seen[k]) ++found;
      seen[k] = true;
      (*block)[k] = bytes[i];
    }
  }
  return found == seen.size();
}

// The identity block at ELF address 0x3000 of a 32-bit big-endian ELF image.
bool ElfIdentity(std::ifstream& in, std::vector<std::uint8_t>* block) {
  std::vector<std::uint8_t> h;
  if (!ReadAt(in, 0, 52, &h) || h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F' || h[4] != 1 || h[5] != 2)
    return false;
  const std::uint32_t phoff = Be(&h[28], 4);
  const std::uint32_t phentsize = Be(&h[42], 2);
  const std::uint32_t phnum = Be(&h[44], 2);
  if (phentsize < 32 || phnum > 256) return false;
  std::vector<std::uint8_t> ph;
  for (std::uint32_t i = 0; i < phnum; ++i) {
    if (!ReadAt(in, std::uint64_t{phoff} + std::uint64_t{i} * phentsize, 32, &ph)) return false;
    const std::uint32_t type = Be(&ph[0], 4), offset = Be(&ph[4], 4), vaddr = Be(&ph[8], 4), filesz = Be(&ph[16], 4);
    const std::uint64_t want = ImageVersion::kElfIdentityAddress;
    if (type != 1 || want < vaddr || want + ImageVersion::kIdentitySize > std::uint64_t{vaddr} + filesz) continue;
    return ReadAt(in, offset + (want - vaddr), ImageVersion::kIdentitySize, block);
  }
  return false;
}

bool ContainerHead(const std::uint8_t* head, std::size_t size, std::size_t* sections) {
  if (size < kContainerHead) return false;
  *sections = Be(head + 0x16, 2);
  return *sections > 0 && *sections <= kMostSections;
}

bool ApplicationSection(const std::uint8_t* head, std::size_t size, ImageVersion* out) {
  std::size_t n = 0;
  if (!ContainerHead(head, size, &n) || size < kContainerHead + kSectionEntry * n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* e = head + kContainerHead + kSectionEntry * i;
    if (Be(e, 2) != kApplicationSection) continue;
    out->major = e[4];
    out->minor = e[5];
    return true;
  }
  return false;
}

}  // namespace

std::string ImageVersion::Text() const {
  char text[24];
  std::snprintf(text, sizeof text, "%u.%02u", major, minor);
  return text;
}

bool ImageVersion::FromIdentity(const std::uint8_t* block, std::size_t size, ImageVersion* out) {
  if (size < kIdentitySize || block[4] < 1 || block[4] > 12 || block[5] < 1 || block[5] > 31) return false;
  for (std::size_t i = 20; i < 27; ++i)
    if (block[i] < 0x20 || block[i] > 0x7E) return false;
  // fw_config 1 marks a block written little-endian.
  const unsigned v = block[6] == 1 ? static_cast<unsigned>(block[1] << 8 | block[0]) : Be(block, 2);
  if (v == 0 || v == 0xFFFF) return false;
  out->major = v / 100;
  out->minor = v % 100;
  return true;
}

bool ImageVersion::FromContainer(const std::vector<std::uint8_t>& bytes, ImageVersion* out) {
  return ApplicationSection(bytes.data(), bytes.size(), out);
}

bool ImageVersion::FromFile(const std::string& path, ImageVersion* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  const std::string ext = Extension(path);
  std::vector<std::uint8_t> bytes;
  bool found = false;
  if (ext == "timg") {
    std::size_t n = 0;
    found = ReadAt(in, 0, kContainerHead, &bytes) && ContainerHead(bytes.data(), bytes.size(), &n) &&
            ReadAt(in, 0, kContainerHead + kSectionEntry * n, &bytes) && FromContainer(bytes, out);
  } else if (ext == "srec" || ext == "s19" || ext == "s28" || ext == "s37") {
    found = SRecordIdentity(in, &bytes) && FromIdentity(bytes.data(), bytes.size(), out);
  } else if (ext == "elf") {
    found = ElfIdentity(in, &bytes) && FromIdentity(bytes.data(), bytes.size(), out);
  } else if (ext == "img") {
    found = ReadAt(in, 0, kIdentitySize, &bytes) && FromIdentity(bytes.data(), bytes.size(), out);
  } else {
    *error = path + ": no version can be read from a ." + ext + " file";
    return false;
  }
  if (!found) *error = path + " states no application version";
  return found;
}

bool ImageVersion::Parse(const std::string& text, ImageVersion* out) {
  const std::size_t dot = text.find('.');
  if (dot == 0 || dot == std::string::npos || dot > 3 || text.size() - dot - 1 != 2) return false;
  unsigned major = 0, minor = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == dot) continue;
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    (i < dot ? major : minor) = (i < dot ? major : minor) * 10 + static_cast<unsigned>(text[i] - '0');
  }
  out->major = major;
  out->minor = minor;
  return true;
}

}  // namespace sim
