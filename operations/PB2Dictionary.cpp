#include "operations/PB2Dictionary.h"

#include <algorithm>

#include "protocol/TCPacket.h"

namespace {
constexpr BYTE kMagic0 = 'P';
constexpr BYTE kMagic1 = 'B';
constexpr BYTE kVersion = 2;
constexpr size_t kSettingHeader = 4;
constexpr double kReplySeconds = 3.0;

size_t SettingSize(const CPB2Dictionary::Setting& s) {
  return kSettingHeader + (s.kind == CPB2Dictionary::kTable ? 1 + 4 * s.table.size() : s.kind);
}

// One pipe request; the whole reply frame's data, or false.
bool Ask(CioInterface& port, const std::vector<BYTE>& request, std::vector<BYTE>* answer) {
  CTCPacket packet(CPB2Dictionary::kRadioType);
  packet.SetData(request);
  if (!packet.SendPacket(port)) return false;
  packet.SetAckNotExpected(true);
  if (!packet.ReceivePacket(port, kReplySeconds)) return false;
  answer->assign(packet.GetData().begin(), packet.GetData().end());
  return true;
}
}  // namespace

bool CPB2Dictionary::Load(const BYTE* data, size_t size) {
  if (data == nullptr || size < kHeaderSize + kSumSize || size > kMaxEncoded) return false;
  if (!CRadioValue::HasHeader(data, size, kMagic0, kMagic1, kVersion)) return false;
  std::vector<Setting> settings;
  size_t at = kHeaderSize;
  for (unsigned n = 0; n < data[3]; ++n) {
    if (size - at < kSettingHeader) return false;
    Setting s;
    s.group = data[at];
    s.id = static_cast<WORD>(data[at + 1] << 8 | data[at + 2]);
    s.kind = data[at + 3];
    at += kSettingHeader;
    if (CRadioValue::IsScalarKind(s.kind)) {
      if (size - at < s.kind) return false;
      s.value = CRadioValue::ReadBe(data + at, s.kind);
      at += s.kind;
    } else if (s.kind == kTable) {
      if (size - at < 1) return false;
      const size_t count = data[at++];
      if (count > kMaxTable || size - at < 4 * count) return false;
      for (size_t i = 0; i < count; ++i, at += 4)
        s.table.push_back(static_cast<UINT>(CRadioValue::ReadBe(data + at, 4)));
    } else {
      return false;
    }
    if (std::any_of(settings.begin(), settings.end(),
                    [&](const Setting& o) { return o.group == s.group && o.id == s.id; }))
      return false;
    settings.push_back(std::move(s));
  }
  if (size - at != kSumSize || !CRadioValue::SumHolds(data, at)) return false;
  CPB2Dictionary loaded;
  loaded.m_settings = std::move(settings);
  const Setting* mode = loaded.Find(kMode);
  const Setting* setting = loaded.Find(kSetting);
  if (mode == nullptr || setting == nullptr || !CRadioValue::IsScalarKind(mode->kind) || !CRadioValue::IsScalarKind(setting->kind)) return false;
  *this = std::move(loaded);
  return true;
}

bool CPB2Dictionary::LoadReply(const BYTE* data, size_t size) {
  if (data == nullptr || size < 3 || data[0] != kReply || data[1] != kRead || data[2] != 0) return false;
  return Load(data + 3, size - 3);
}

size_t CPB2Dictionary::EncodedSize() const {
  size_t size = kHeaderSize + kSumSize;
  for (const Setting& s : m_settings) size += SettingSize(s);
  return size;
}

std::vector<BYTE> CPB2Dictionary::Encode() const {
  std::vector<BYTE> out{kMagic0, kMagic1, kVersion, static_cast<BYTE>(m_settings.size())};
  for (const Setting& s : m_settings) {
    out.push_back(s.group);
    CRadioValue::AppendBe(out, s.id, 2);
    out.push_back(s.kind);
    if (s.kind == kTable) {
      out.push_back(static_cast<BYTE>(s.table.size()));
      for (UINT v : s.table) CRadioValue::AppendBe(out, v, 4);
    } else {
      CRadioValue::AppendBe(out, s.value, s.kind);
    }
  }
  CRadioValue::AppendSum(out);
  return out;
}

bool CPB2Dictionary::Read(CioInterface& port) {
  std::vector<BYTE> answer;
  return Ask(port, {kRead}, &answer) && LoadReply(answer.data(), answer.size());
}

bool CPB2Dictionary::Write(CioInterface& port) const {
  std::vector<BYTE> request{kWrite};
  const std::vector<BYTE> bytes = Encode();
  request.insert(request.end(), bytes.begin(), bytes.end());
  std::vector<BYTE> answer;
  return Ask(port, request, &answer) && answer == std::vector<BYTE>{kReply, kWrite, 0};
}

CPB2Dictionary::Setting* CPB2Dictionary::FindMutable(Key key) {
  for (Setting& s : m_settings)
    if (s.group == key.group && s.id == key.id) return &s;
  return nullptr;
}

const CPB2Dictionary::Setting* CPB2Dictionary::Find(Key key) const {
  for (const Setting& s : m_settings)
    if (s.group == key.group && s.id == key.id) return &s;
  return nullptr;
}

DWORD CPB2Dictionary::Get(Key key, DWORD otherwise) const {
  const Setting* s = Find(key);
  return s && CRadioValue::IsScalarKind(s->kind) ? s->value : otherwise;
}

bool CPB2Dictionary::Set(Key key, DWORD value) {
  Setting* s = FindMutable(key);
  if (s == nullptr || !CRadioValue::IsScalarKind(s->kind) || value > CRadioValue::KindLimit(s->kind)) return false;
  s->value = value;
  return true;
}

std::vector<UINT> CPB2Dictionary::GetTable(Key key) const {
  const Setting* s = Find(key);
  return s && s->kind == kTable ? s->table : std::vector<UINT>{};
}

bool CPB2Dictionary::SetTable(Key key, const std::vector<UINT>& values) {
  Setting* s = FindMutable(key);
  if (s == nullptr || s->kind != kTable || values.empty() || values.size() > kMaxTable) return false;
  if (EncodedSize() - 4 * s->table.size() + 4 * values.size() > kMaxEncoded) return false;
  s->table = values;
  return true;
}
