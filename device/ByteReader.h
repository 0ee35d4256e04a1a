// Bounds-checked reads of big- and little-endian fields from a byte buffer.
// Every reader of outside data goes through this, so a field that lies past
// the end of the data is a failed read rather than a stray access.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

class CByteReader {
 public:
  CByteReader(const void* data, size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(data ? size : 0) {}

  size_t GetSize() const { return size_; }
  // Whether `count` bytes from `offset` lie inside the data (no overflow).
  bool Has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }

  bool U8(size_t offset, std::uint8_t& out) const {
    if (!Has(offset, 1)) return false;
    out = data_[offset];
    return true;
  }
  bool U16BE(size_t offset, std::uint16_t& out) const {
    if (!Has(offset, 2)) return false;
    out = static_cast<std::uint16_t>((data_[offset] << 8) | data_[offset + 1]);
    return true;
  }
  bool U32BE(size_t offset, std::uint32_t& out) const {
    if (!Has(offset, 4)) return false;
    out = (std::uint32_t{data_[offset]} << 24) | (std::uint32_t{data_[offset + 1]} << 16) |
          (std::uint32_t{data_[offset + 2]} << 8) | std::uint32_t{data_[offset + 3]};
    return true;
  }
  bool Bytes(size_t offset, void* out, size_t count) const {
    if (!Has(offset, count)) return false;
    if (count) std::memcpy(out, data_ + offset, count);
    return true;
  }

  static std::uint16_t Swap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }
  static std::uint32_t Swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  }

 private:
  const std::uint8_t* data_;
  size_t size_;
};
