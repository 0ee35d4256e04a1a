#include "operations/ERODictionary.h"

#include <algorithm>

namespace {
constexpr BYTE kMagic0 = 'E';
constexpr BYTE kMagic1 = 'R';
constexpr BYTE kVersion = 1;
}  // namespace

bool CERODictionary::CheckBlock(const BYTE* block, size_t size) {
  return block != nullptr && size == kBlockSize && CRadioValue::SumHolds(block, size - 2);
}

bool CERODictionary::Load(const BYTE* data, size_t size) {
  if (data == nullptr || size < kHeaderSize + kSumSize) return false;
  if (!CRadioValue::HasHeader(data, size, kMagic0, kMagic1, kVersion)) return false;
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
  if (size - at < kSumSize || !CRadioValue::SumHolds(data, at)) return false;
  m_entries = std::move(entries);
  if (Find(kMode) == nullptr || Find(kSetting) == nullptr) {
    m_entries.clear();
    return false;
  }
  return true;
}

size_t CERODictionary::EncodedSize() const {
  size_t size = kHeaderSize + kSumSize;
  for (const Entry& e : m_entries) size += 3u + e.kind;
  return size;
}

std::vector<BYTE> CERODictionary::Encode() const {
  std::vector<BYTE> out{kMagic0, kMagic1, kVersion, static_cast<BYTE>(m_entries.size())};
  for (const Entry& e : m_entries) {
    CRadioValue::AppendBe(out, e.id, 2);
    out.push_back(e.kind);
    CRadioValue::AppendBe(out, e.value, e.kind);
  }
  CRadioValue::AppendSum(out);
  return out;
}

bool CERODictionary::Store(BYTE* data, size_t size) const {
  if (data == nullptr || m_entries.size() > 255 || EncodedSize() > size) return false;
  const std::vector<BYTE> bytes = Encode();
  std::copy(bytes.begin(), bytes.end(), data);
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
