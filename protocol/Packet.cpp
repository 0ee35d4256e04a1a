#include "protocol/Packet.h"

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

void CPacket::ResizeData(size_t size) {
  if (size > m_data.capacity()) m_data.reserve((size + 255) / 256 * 256);
  m_data.resize(size);
}
