#include "protocol/Packet.h"

#include <cstring>

void CPacket::AppendData(const BYTE* source, UINT count) {
  const UINT n = count & 0xFFFF;
  if (n == 0 || source == nullptr) return;
  ResizeData(m_data.size() + n);
  std::copy(source, source + n, m_data.end() - n);
}

void CPacket::AppendByte(BYTE value) { AppendData(&value, 1); }

void CPacket::AppendWord(WORD value) {
  const BYTE bytes[2] = {static_cast<BYTE>(value >> 8), static_cast<BYTE>(value)};
  AppendData(bytes, 2);
}

void CPacket::AppendDWord(DWORD value) {
  const BYTE bytes[4] = {static_cast<BYTE>(value >> 24), static_cast<BYTE>(value >> 16),
                         static_cast<BYTE>(value >> 8), static_cast<BYTE>(value)};
  AppendData(bytes, 4);
}

void CPacket::SetData(const BYTE* source, UINT count) {
  m_data.clear();
  AppendData(source, count);
}

std::uint32_t CPacket::SumOfBytes(const BYTE* data, size_t n) {
  // Eight bytes at a time, as a transfer sums a block per frame: each byte is
  // added into one of four 16-bit lanes, which are gathered after at most 128
  // words (128 * 2 * 255 stays below 65536).
  constexpr std::uint64_t kLanes = 0x00FF00FF00FF00FFull;
  std::uint32_t total = 0;
  size_t i = 0;
  while (n - i >= 8) {
    std::uint64_t lanes = 0;
    for (int words = 0; words < 128 && n - i >= 8; ++words, i += 8) {
      std::uint64_t w = 0;
      std::memcpy(&w, data + i, 8);
      lanes += (w & kLanes) + ((w >> 8) & kLanes);
    }
    total += static_cast<std::uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) +
                                        (lanes >> 48));
  }
  for (; i < n; ++i) total += data[i];
  return total;
}

void CPacket::ResizeData(size_t size) {
  if (size > m_data.capacity()) m_data.reserve((size + 255) / 256 * 256);
  m_data.resize(size);
}
