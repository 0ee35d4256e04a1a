// The radio behind the receiver: its configuration area (the monitor reads
// and writes it), and, through the pipe the application opens to it, its own
// settings, its version and state, and its software.
#include <algorithm>

#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

namespace {

// The largest settings dictionary the radio takes; kind 0x10 is a table.
constexpr std::size_t kRadioSettingsMax = 240;
constexpr std::uint8_t kRadioTable = 0x10;

// CRC-32 (reflected, polynomial 0xEDB88320) over a radio software image.
std::uint32_t RadioCrc(const std::vector<std::uint8_t>& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace

// The radio configuration area: a typed dictionary ('E' 'R' 1 n, entries of
// id(2) width(1) value, 16-bit sum) padded with 0xFF; mode 7 areas end in a
// 512-byte block whose last two bytes sum its first 510.
std::vector<std::uint8_t> VirtualReceiver::RadioArea(const Profile& p) {
  std::vector<std::uint8_t> area(p.radioConfigSize, 0xFF);
  if (!p.radioDictionary) {
    for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return area;
  }
  const std::uint16_t spacing = p.radioSpacing.empty() ? 0 : p.radioSpacing[0];
  const struct { std::uint16_t id; std::uint8_t width; std::uint32_t value; } entries[] = {
      {1, 1, p.radioMode}, {2, 2, p.radioSetting}, {23, 2, 0}, {24, 2, spacing},
      {30, 4, p.radioTxHz}, {31, 4, p.radioRxHz}, {148, 2, p.radioPower}};
  std::vector<std::uint8_t> d{'E', 'R', 1, static_cast<std::uint8_t>(std::size(entries))};
  for (const auto& e : entries) {
    d.push_back(static_cast<std::uint8_t>(e.id >> 8));
    d.push_back(static_cast<std::uint8_t>(e.id));
    d.push_back(e.width);
    for (int shift = 8 * (e.width - 1); shift >= 0; shift -= 8) d.push_back(static_cast<std::uint8_t>(e.value >> shift));
  }
  unsigned sum = 0;
  for (std::uint8_t b : d) sum += b;
  d.push_back(static_cast<std::uint8_t>(sum >> 8));
  d.push_back(static_cast<std::uint8_t>(sum));
  std::copy_n(d.begin(), std::min(d.size(), area.size()), area.begin());
  if (p.radioMode == 7 && area.size() >= 512 + d.size()) {
    const std::size_t block = area.size() - 512;
    unsigned blockSum = 0;
    for (std::size_t i = 0; i < 510; ++i) {
      area[block + i] = static_cast<std::uint8_t>(i * 13 + 1);
      blockSum += area[block + i];
    }
    area[block + 510] = static_cast<std::uint8_t>(blockSum >> 8);
    area[block + 511] = static_cast<std::uint8_t>(blockSum);
  }
  return area;
}

// The newer radio's own settings dictionary ('P' 'B' 2 n, settings of
// group(1) id(2) kind(1) value, kind 0x10 a table of count(1) 4-byte values,
// 16-bit sum), from the same profile keys as the configuration area.
std::vector<std::uint8_t> VirtualReceiver::InitialRadioSettings(const Profile& p) {
  const struct { std::uint8_t group; std::uint16_t id; std::uint8_t kind; std::uint32_t value; } settings[] = {
      {0, 1, 1, p.radioMode}, {0, 2, 2, p.radioSetting}, {1, 1123, 2, p.radioPower},
      {1, 1130, kRadioTable, p.radioTxHz}, {2, 23, 2, 0}, {2, 1131, kRadioTable, p.radioRxHz}};
  std::vector<std::uint8_t> d{'P', 'B', 2, static_cast<std::uint8_t>(std::size(settings))};
  auto put = [&d](std::uint32_t v, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) d.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  for (const auto& s : settings) {
    d.push_back(s.group);
    put(s.id, 2);
    d.push_back(s.kind);
    if (s.kind == kRadioTable) {
      d.push_back(1);
      put(s.value, 4);
    } else {
      put(s.value, s.kind);
    }
  }
  unsigned sum = 0;
  for (std::uint8_t b : d) sum += b;
  put(sum & 0xFFFF, 2);
  return d;
}


// The radio takes new software in three steps, each answered A0 <step> <status>
// (status 0 accepted, 1 refused): 'U' size(4) crc32(4); 'D' offset(4) bytes
// (1..200, in order); 'E' installs when size and CRC match, after which the
// radio restarts and synchronises again.
void VirtualReceiver::RadioLoad(const std::vector<std::uint8_t>& d) {
  const std::uint8_t step = d[0];
  bool ok = false;
  if (step == 'U' && d.size() == 9) {
    radioExpectedSize_ = GetBe(d, 1, 4);
    radioExpectedCrc_ = GetBe(d, 5, 4);
    radioIncoming_.clear();
    radioLoading_ = radioExpectedSize_ > 0 && radioExpectedSize_ <= 0x100000;
    ok = radioLoading_;
  } else if (step == 'D' && d.size() > 5 && d.size() <= 205) {
    ok = radioLoading_ && GetBe(d, 1, 4) == radioIncoming_.size() &&
         radioIncoming_.size() + (d.size() - 5) <= radioExpectedSize_;
    if (ok) radioIncoming_.insert(radioIncoming_.end(), d.begin() + 5, d.end());
  } else if (step == 'E' && d.size() == 1) {
    ok = radioLoading_ && radioIncoming_.size() == radioExpectedSize_ && RadioCrc(radioIncoming_) == radioExpectedCrc_;
    radioLoading_ = false;
    if (ok) {
      radioFirmware_ = radioIncoming_;
      ++radioInstalls_;
      syncIndex_ = 0;
      Note("radio software installed, " + std::to_string(radioFirmware_.size()) + " bytes");
    }
  }
  ReplyReport(0x77, {0xA0, step, static_cast<std::uint8_t>(ok ? 0x00 : 0x01)});
}

// A written dictionary is taken whole when its header, size and sum hold;
// the radio makes sense of its settings itself.
void VirtualReceiver::RadioSettingsWrite(const std::vector<std::uint8_t>& d) {
  const std::vector<std::uint8_t> bytes(d.begin() + 1, d.end());
  bool ok = bytes.size() >= 6 && bytes.size() <= kRadioSettingsMax && bytes[0] == 'P' && bytes[1] == 'B' && bytes[2] == 2;
  if (ok) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) sum += bytes[i];
    ok = (sum & 0xFFFF) == (static_cast<unsigned>(bytes[bytes.size() - 2]) << 8 | bytes.back());
  }
  if (ok) {
    radioSettings_ = bytes;
    Note("radio settings written, " + std::to_string(bytes.size()) + " bytes");
  }
  ReplyReport(0x77, {0xA0, 'w', static_cast<std::uint8_t>(ok ? 0x00 : 0x01)});
}

void VirtualReceiver::RadioQuery(const std::vector<std::uint8_t>& d) {
  if (pipeOpen_ && !d.empty() && (d[0] == 'U' || d[0] == 'D' || d[0] == 'E')) {
    RadioLoad(d);
    return;
  }
  if (pipeOpen_ && !d.empty() && d[0] == 'w') {
    RadioSettingsWrite(d);
    return;
  }
  if (!pipeOpen_ || d.size() != 1) {
    Nak();
    return;
  }
  std::vector<std::uint8_t> r;
  switch (d[0]) {
    case 'm': {
      const std::string& v = profile_.radioVersion;
      r = {0xA0, 'm', static_cast<std::uint8_t>(v.size())};
      for (char c : v) r.push_back(static_cast<std::uint8_t>(c));
      r.push_back(0x00);
      r.push_back(profile_.radioOutOfSync);
      break;
    }
    case 'l': {
      const auto& states = profile_.radioSyncStates;
      const std::uint8_t state = states[std::min(syncIndex_, states.size() - 1)];
      ++syncIndex_;
      r = {0xA0, 'l', 0x00, state};
      break;
    }
    case '0': {
      const std::string text = "RADIO,VERSION," + profile_.radioVersion + ",SERIAL," + profile_.serial;
      r.assign(text.begin(), text.end());
      break;
    }
    case 'r':
      r = {0xA0, 'r', 0x00};
      r.insert(r.end(), radioSettings_.begin(), radioSettings_.end());
      break;
    case '.': {
      r = {0xA0, '.', 0x00, static_cast<std::uint8_t>(profile_.radioSpacing.size()), 0x00, 0x00};
      r.insert(r.end(), profile_.radioSpacing.begin(), profile_.radioSpacing.end());
      break;
    }
    default:
      Nak();
      return;
  }
  ReplyReport(0x77, r);
}

}  // namespace sim
