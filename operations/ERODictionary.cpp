#include "operations/ERODictionary.h"

#include <algorithm>

namespace {
constexpr BYTE kMagic0 = 'E';
constexpr BYTE kMagic1 = 'R';
constexpr BYTE kVersion = 1;
constexpr size_t kHeaderSize = 4;
constexpr size_t kChecksumSize = 2;
}  // namespace

bool CERODictionary::CheckBlock(const BYTE* block, size_t size) {
  if (block == nullptr || size != kBlockSize) return false;
  const WORD stored = static_cast<WORD>(block[size - 2] << 8 | block[size - 1]);
  return Sum(block, size - 2) == stored;
}

bool CERODictionary::Load(const BYTE* data, size_t size) {
  if (data == nullptr || size < kHeaderSize + kChecksumSize) return false;
  if (data[0] != kMagic0 || data[1] != kMagic1 || data[2] != kVersion) return false;
  std::vector<Entry> entries;
  size_t at = kHeaderSize;
  for (unsigned n = 0; n < data[3]; ++n) {
    if (size - at < 3) return false;
    Entry e;
    e.id = static_cast<WORD>(data[at] << 8 | data[at + 1]);
    e.kind = data[at + 2];
    at += 3;
    if (!CRadioValue::IsScalarKind(e.kind) || size - at < e.kind) return false;
    e.value = CRadioValue::ReadBe(data + at, e.kind);
    at += e.kind;
    if (std::any_of(entries.begin(), entries.end(), [&](const Entry& o) { return o.id == e.id; })) return false;
    entries.push_back(e);
  }
  if (size - at < kChecksumSize) return false;
  if (Sum(data, at) != static_cast<WORD>(data[at] << 8 | data[at + 1])) return false;
  m_entries = std::move(entries);
  if (Find(kMode) == nullptr || Find(kSetting) == nullptr) {
    m_entries.clear();
    return false;
  }
  return true;
}

size_t CERODictionary::EncodedSize() const {
  size_t size = kHeaderSize + kChecksumSize;
  for (const Entry& e : m_entries) size += 3u + e.kind;
  return size;
}

bool CERODictionary::Store(BYTE* data, size_t size) const {
  if (data == nullptr || m_entries.size() > 255 || EncodedSize() > size) return false;
  size_t at = 0;
  data[at++] = kMagic0;
  data[at++] = kMagic1;
  data[at++] = kVersion;
  data[at++] = static_cast<BYTE>(m_entries.size());
  for (const Entry& e : m_entries) {
    data[at++] = static_cast<BYTE>(e.id >> 8);
    data[at++] = static_cast<BYTE>(e.id);
    data[at++] = e.kind;
    for (int shift = 8 * (e.kind - 1); shift >= 0; shift -= 8) data[at++] = static_cast<BYTE>(e.value >> shift);
  }
  const WORD sum = Sum(data, at);
  data[at++] = static_cast<BYTE>(sum >> 8);
  data[at] = static_cast<BYTE>(sum);
  return true;
}

const CERODictionary::Entry* CERODictionary::Find(WORD id) const {
  for (const Entry& e : m_entries)
    if (e.id == id) return &e;
  return nullptr;
}

DWORD CERODictionary::Get(WORD id, DWORD otherwise) const {
  const Entry* e = Find(id);
  return e ? e->value : otherwise;
}

bool CERODictionary::Set(WORD id, DWORD value) {
  for (Entry& e : m_entries) {
    if (e.id != id) continue;
    if (value > CRadioValue::KindLimit(e.kind)) return false;
    e.value = value;
    return true;
  }
  return false;
}

bool CERODictionary::SetWord(WORD id, DWORD value) {
  const Entry* e = Find(id);
  return e != nullptr && e->kind == kWord && Set(id, value);
}

bool CERODictionary::SetTransmitPower(DWORD value) {
  return value <= kMaxTransmitPower && SetWord(kTransmitPower, value);
}

bool CERODictionary::SetChannelCode(DWORD value) {
  return CRadioValue::IsChannelCode(value) && SetWord(kChannelCode, value);
}
