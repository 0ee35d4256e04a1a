#include "operations/PB2Dictionary.h"

#include <algorithm>

#include "protocol/TCPacket.h"

namespace {
constexpr BYTE kMagic0 = 'P';
constexpr BYTE kMagic1 = 'B';
constexpr BYTE kVersion = 2;
constexpr size_t kHeaderSize = 4;
constexpr size_t kSettingHeader = 4;
constexpr size_t kSumSize = 2;
constexpr double kReplySeconds = 3.0;
constexpr DWORD kChannelCodes[] = {0, 1, 2, 256, 512, 768, 1024};

bool Scalar(BYTE kind) {
  return kind == CPB2Dictionary::kByte || kind == CPB2Dictionary::kWord || kind == CPB2Dictionary::kLong;
}

DWORD KindLimit(BYTE kind) { return kind == CPB2Dictionary::kLong ? 0xFFFFFFFFu : (1u << (8 * kind)) - 1; }

size_t SettingSize(const CPB2Dictionary::Setting& s) {
  return kSettingHeader + (s.kind == CPB2Dictionary::kTable ? 1 + 4 * s.table.size() : s.kind);
}

WORD Sum(const BYTE* data, size_t size) {
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return static_cast<WORD>(sum);
}

DWORD Be(const BYTE* p, size_t width) {
  DWORD v = 0;
  for (size_t i = 0; i < width; ++i) v = v << 8 | p[i];
  return v;
}

void PutBe(std::vector<BYTE>& out, DWORD v, size_t width) {
  for (size_t i = width; i-- > 0;) out.push_back(static_cast<BYTE>(v >> (8 * i)));
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
  if (data[0] != kMagic0 || data[1] != kMagic1 || data[2] != kVersion) return false;
  std::vector<Setting> settings;
  size_t at = kHeaderSize;
  for (unsigned n = 0; n < data[3]; ++n) {
    if (size - at < kSettingHeader) return false;
    Setting s;
    s.group = data[at];
    s.id = static_cast<WORD>(data[at + 1] << 8 | data[at + 2]);
    s.kind = data[at + 3];
    at += kSettingHeader;
    if (Scalar(s.kind)) {
      if (size - at < s.kind) return false;
      s.value = Be(data + at, s.kind);
      at += s.kind;
    } else if (s.kind == kTable) {
      if (size - at < 1) return false;
      const size_t count = data[at++];
      if (count > kMaxTable || size - at < 4 * count) return false;
      for (size_t i = 0; i < count; ++i, at += 4) s.table.push_back(static_cast<UINT>(Be(data + at, 4)));
    } else {
      return false;
    }
    if (std::any_of(settings.begin(), settings.end(),
                    [&](const Setting& o) { return o.group == s.group && o.id == s.id; }))
      return false;
    settings.push_back(std::move(s));
  }
  if (size - at != kSumSize || Sum(data, at) != static_cast<WORD>(data[at] << 8 | data[at + 1])) return false;
  CPB2Dictionary loaded;
  loaded.m_settings = std::move(settings);
  const Setting* mode = loaded.Find(kMode);
  const Setting* setting = loaded.Find(kSetting);
  if (mode == nullptr || setting == nullptr || !Scalar(mode->kind) || !Scalar(setting->kind)) return false;
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
    PutBe(out, s.id, 2);
    out.push_back(s.kind);
    if (s.kind == kTable) {
      out.push_back(static_cast<BYTE>(s.table.size()));
      for (UINT v : s.table) PutBe(out, v, 4);
    } else {
      PutBe(out, s.value, s.kind);
    }
  }
  PutBe(out, Sum(out.data(), out.size()), 2);
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
  return s && Scalar(s->kind) ? s->value : otherwise;
}

bool CPB2Dictionary::Set(Key key, DWORD value) {
  Setting* s = FindMutable(key);
  if (s == nullptr || !Scalar(s->kind) || value > KindLimit(s->kind)) return false;
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

bool CPB2Dictionary::SetTransmitPower(DWORD value) {
  const Setting* s = Find(kTransmitPower);
  return value <= kMaxTransmitPower && s != nullptr && s->kind == kWord && Set(kTransmitPower, value);
}

bool CPB2Dictionary::SetChannelCode(DWORD value) {
  const Setting* s = Find(kChannelCode);
  return std::find(std::begin(kChannelCodes), std::end(kChannelCodes), value) != std::end(kChannelCodes) &&
         s != nullptr && s->kind == kWord && Set(kChannelCode, value);
}
