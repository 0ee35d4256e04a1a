// Small firmware images of every format, built in memory for tests. The
// layouts are written out here independently of the readers under test.
#pragma once
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// Writes `bytes` to `path` and returns the path.
inline std::string WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}
inline std::string WriteFile(const std::string& path, const std::string& text) {
  return WriteFile(path, Bytes(text.begin(), text.end()));
}

// Writes the `n` low bytes of `v` at `at`, the high byte first unless `little`.
inline void Put(Bytes& b, size_t at, std::uint32_t v, size_t n, bool little = false) {
  for (size_t i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * (little ? i : n - 1 - i)));
}
inline void PutBE16(Bytes& b, size_t at, std::uint32_t v) { Put(b, at, v, 2); }
inline void PutBE32(Bytes& b, size_t at, std::uint32_t v) { Put(b, at, v, 4); }

// Bytes 0, 1, 2 ... wrapping at 251 so that no two nearby blocks look alike.
inline Bytes Pattern(size_t size, std::uint8_t seed = 0) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i + seed) % 251);
  return b;
}

inline std::uint32_t Adler32(const Bytes& b, size_t from = 0) {
  std::uint32_t a = 1, s = 0;
  for (size_t i = from; i < b.size(); ++i) {
    a = (a + b[i]) % 65521;
    s = (s + a) % 65521;
  }
  return (s << 16) | a;
}

struct BlockSpec {
  const char* platform = "KELVOR ";
  std::uint16_t version = 430;
  std::uint16_t year = 2011;
  std::uint8_t month = 6;
  std::uint8_t day = 21;
  std::uint32_t imageSize = 0x1000;
  std::uint32_t adler = 0;
};

// The 36-byte identity block, big-endian.
inline Bytes EmbeddedBlock(const BlockSpec& s = {}) {
  Bytes b(36, 0);
  PutBE16(b, 0, s.version);
  PutBE16(b, 2, s.year);
  b[4] = s.month;
  b[5] = s.day;
  PutBE32(b, 12, s.imageSize);
  std::memcpy(&b[20], s.platform, std::min<size_t>(std::strlen(s.platform), 8));
  PutBE32(b, 32, s.adler);
  return b;
}

// `bytes` with the identity block written over them from `at`.
inline Bytes WithBlock(Bytes bytes, size_t at = 0, const BlockSpec& spec = {}) {
  const Bytes block = EmbeddedBlock(spec);
  std::copy(block.begin(), block.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

struct TimgSectionSpec {
  std::uint16_t type;
  std::uint8_t major = 1;
  std::uint8_t minor = 0;
  std::uint32_t address = 0;
  Bytes payload;
  std::uint32_t declaredLength = 0xFFFFFFFF;  // when set, written instead of payload.size()
};

inline Bytes TimgImage(const std::vector<TimgSectionSpec>& sections, std::uint16_t declaredCount = 0xFFFF) {
  const size_t n = sections.size();
  Bytes b(0x6C + 84 * n, 0);
  PutBE16(b, 0x16, declaredCount != 0xFFFF ? declaredCount : static_cast<std::uint16_t>(n));
  for (size_t i = 0; i < n; ++i) {
    const TimgSectionSpec& s = sections[i];
    const size_t e = 0x6C + 84 * i;
    PutBE16(b, e, s.type);
    b[e + 2] = 0xA2;
    b[e + 3] = 0xA3;
    b[e + 4] = s.major;
    b[e + 5] = s.minor;
    PutBE32(b, e + 8, s.declaredLength != 0xFFFFFFFF ? s.declaredLength : static_cast<std::uint32_t>(s.payload.size()));
    PutBE32(b, e + 12, 0xC0C0C0C0);
    PutBE32(b, e + 16, s.address);
  }
  for (const TimgSectionSpec& s : sections) b.insert(b.end(), s.payload.begin(), s.payload.end());
  return b;
}

struct ElfSegment {
  std::uint32_t type = 1;
  std::uint32_t flags = 5;
  std::uint32_t vaddr = 0;
  Bytes bytes;
};

struct ElfSpec {
  std::uint16_t type = 2;
  std::uint16_t machine = 20;
  std::uint32_t version = 1;
  std::uint16_t ehsize = 52;
  bool littleEndian = false;
};

// An executable with the program headers right after the ELF header and the
// segments' bytes after them, in order.
inline Bytes ElfImage(const std::vector<ElfSegment>& segments, const ElfSpec& spec = {}) {
  const size_t phoff = 52, n = segments.size();
  Bytes b(phoff + 32 * n, 0);
  auto put16 = [&](size_t at, std::uint32_t v) { Put(b, at, v, 2, spec.littleEndian); };
  auto put32 = [&](size_t at, std::uint32_t v) { Put(b, at, v, 4, spec.littleEndian); };
  // The magic, 32-bit, the data encoding, the version.
  const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, static_cast<std::uint8_t>(spec.littleEndian ? 1 : 2), 1};
  std::copy(std::begin(ident), std::end(ident), b.begin());
  put16(16, spec.type);
  put16(18, spec.machine);
  put32(20, spec.version);
  put32(24, 0x100);
  put32(28, static_cast<std::uint32_t>(phoff));
  put16(40, spec.ehsize);
  put16(42, 32);
  put16(44, static_cast<std::uint32_t>(n));
  size_t offset = b.size();
  for (size_t i = 0; i < n; ++i) {
    const size_t ph = phoff + 32 * i;
    put32(ph, segments[i].type);
    put32(ph + 4, static_cast<std::uint32_t>(offset));
    put32(ph + 8, segments[i].vaddr);
    put32(ph + 12, segments[i].vaddr);
    put32(ph + 16, static_cast<std::uint32_t>(segments[i].bytes.size()));
    put32(ph + 20, static_cast<std::uint32_t>(segments[i].bytes.size()));
    put32(ph + 24, segments[i].flags);
    put32(ph + 28, 4);
    offset += segments[i].bytes.size();
  }
  for (const ElfSegment& s : segments) b.insert(b.end(), s.bytes.begin(), s.bytes.end());
  return b;
}

// One S-record line (without line end) with a correct checksum.
inline std::string SRecordLine(int type, std::uint32_t address, const Bytes& data) {
  const int addressLength = type == 1 ? 2 : type == 2 ? 3 : type == 3 ? 4 : 0;
  const unsigned count = static_cast<unsigned>(addressLength + data.size() + 1);
  std::string line = "S" + std::to_string(type);
  unsigned sum = 0;
  auto hex = [&](unsigned byte) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", byte & 0xFF);
    line += buf;
    sum += byte & 0xFF;
  };
  hex(count);
  for (int i = addressLength - 1; i >= 0; --i) hex(address >> (8 * i));
  for (std::uint8_t d : data) hex(d);
  hex(~sum);
  return line;
}

// Data records of `bytes` from `address`, `perRecord` bytes each, S3.
inline std::string SRecordData(std::uint32_t address, const Bytes& bytes, size_t perRecord = 16) {
  std::string text;
  for (size_t at = 0; at < bytes.size(); at += perRecord) {
    const size_t n = std::min(perRecord, bytes.size() - at);
    text += SRecordLine(3, address + static_cast<std::uint32_t>(at),
                        Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + n))) +
            "\n";
  }
  return text;
}

// A Hopsa image: the identity block at 0, the head padded to 256 bytes, the body.
// The block's Adler-32 is set to the body's unless fixAdler is false.
inline Bytes HopsaImage(const Bytes& body, BlockSpec spec = {}, bool fixAdler = true) {
  Bytes head(256, 0x5A);
  if (fixAdler) spec.adler = Adler32(body);
  const Bytes block = EmbeddedBlock(spec);
  std::copy(block.begin(), block.end(), head.begin());
  head.insert(head.end(), body.begin(), body.end());
  return head;
}

}  // namespace testsupport
