// How the virtual receiver identifies itself: break-info in both modes, the
// application's version, time and capability replies, and the monitor's
// product record and flash descriptions.
#include <cstdio>
#include <ctime>

#include "afx/Clock.h"
#include "afx/System.h"
#include "sim/BreakInfoText.h"
#include "sim/Bytes.h"
#include "sim/VirtualReceiver.h"

namespace sim {

namespace {

// GPS time began at 1980-01-06 00:00:00 UTC; the receiver runs 18 s ahead of UTC.
constexpr std::int64_t kGpsEpoch = 315'964'800;
constexpr std::int64_t kLeapSeconds = 18;

}  // namespace

void VirtualReceiver::SendBreakInfo(bool atBreakSettings) {
  BreakInfoText info;
  const bool monitor = mode_ == ReceiverMode::Monitor;
  const afx::LineSettings s = ModeSettings();
  info.product = monitor ? profile_.MonitorName() : profile_.product;
  info.port = profile_.port;
  info.baud = s.baudRate;
  info.dataBits = s.byteSize;
  info.stopBits = s.stopBits == 2 ? 2 : 1;
  info.parity = "NOEMS"[s.parity < 5 ? s.parity : 0];
  info.portMode = profile_.portMode;
  info.portStatus = profile_.portStatus;
  info.version = monitor ? profile_.monitorVersion : profile_.version;
  info.serial = profile_.serial;
  info.refver = profile_.refver;
  if (!atBreakSettings) {
    ReplyReport(kBreakReplyType, [&] { const std::string t = info.Build(); return std::vector<std::uint8_t>(t.begin(), t.end()); }());
    return;
  }
  // After a break the port talks 9600 8N1 until the reply is out, then goes
  // back to its own settings (after a pause when its port mode asks for one).
  const afx::LineSettings breakSettings = Settings(now_ < wrongBaudUntil_ ? wrongBaud_ : 9600, 8, 'N', 1);
  line_.SetSettings(Side::Receiver, breakSettings, now_);
  const std::string t = info.Build();
  const std::int64_t done = ReplyReport(kBreakReplyType, std::vector<std::uint8_t>(t.begin(), t.end()));
  const bool pause = !profile_.portMode.empty() && (profile_.portMode[0] == 'T' || profile_.portMode[0] == 'W');
  After(std::max(done, now_) + (pause ? 5000 * kMs : 0), [this] { line_.SetSettings(Side::Receiver, ModeSettings(), now_); });
}

std::vector<std::uint8_t> VirtualReceiver::VersionText() const {
  std::string text = profile_.product;
  text.resize(16, ' ');
  text += profile_.softwareField + profile_.middleField + profile_.bootField;
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> VirtualReceiver::GpsTimeText() const {
  const std::int64_t gps = static_cast<std::int64_t>(afx::GetClock().WallTime()) - kGpsEpoch + kLeapSeconds;
  const long week = static_cast<long>(gps / 604800);
  const long tow = static_cast<long>(gps % 604800);
  const std::time_t utc = afx::GetClock().WallTime();
  std::tm tm{};
  afx::UtcCalendarTime(utc, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%07ld%04ld%02d %04d GPS", tow, week % 10000, profile_.utcOffset % 100,
                (tm.tm_year + 1900) % 10000);
  return {text, text + 22};
}

std::vector<std::uint8_t> VirtualReceiver::Capability() const {
  std::vector<std::uint8_t> d(64, 0);
  d[0] = profile_.hwFlagsAt == 19 ? 100 : 50;
  d[static_cast<std::size_t>(profile_.hwFlagsAt)] = profile_.hwFlags;
  return d;
}

std::vector<std::uint8_t> VirtualReceiver::IdentityReply() const {
  std::vector<std::uint8_t> r(kIdentityReplySize, 0);
  r[0] = kIdentityQuery;
  r[kIdentityProductCode] = profile_.productCode;
  r[kIdentityCapability] = profile_.capability;
  PutBe(r, kIdentityProductId, profile_.productId, 2);
  r[kIdentityInstalled] = profile_.installedMajor;
  r[kIdentityInstalled + 1] = profile_.installedMinor;
  r[kIdentityMonitor] = profile_.monitorMajor;
  r[kIdentityMonitor + 1] = profile_.monitorMinor;
  PutText(r, kIdentityProductName, profile_.product, 40);
  PutText(r, kIdentitySerial, profile_.serial, 32);
  return r;
}

std::vector<std::uint8_t> VirtualReceiver::ProductRecord() const {
  std::vector<std::uint8_t> r(425, 0);
  r[0] = profile_.monitorMajor;
  r[1] = profile_.monitorMinor;
  if (profile_.serial.empty()) {
    std::fill(r.begin() + 2, r.begin() + 34, 0xFF);
  } else {
    PutText(r, 2, profile_.serial, 32);
  }
  PutText(r, 34, profile_.product, 40);
  PutText(r, 74, profile_.owner1, 36);
  PutText(r, 110, profile_.owner2, 36);
  r[146] = profile_.board;
  r[147] = profile_.capability;
  r[148] = profile_.dateMonth;
  PutBe(r, 149, profile_.dateYear, 2);
  r[151] = profile_.installedMajor;
  r[152] = profile_.installedMinor;
  PutBe(r, 155, 0x0101, 2);
  for (std::size_t i = 0; i < 32; ++i) {
    const auto f = i < profile_.features.size() ? profile_.features[i] : std::pair<std::uint16_t, std::uint16_t>{0xFFFF, 0};
    PutBe(r, 169 + 4 * i, f.first, 2);
    PutBe(r, 171 + 4 * i, f.second, 2);
  }
  r[336] = profile_.productCode;
  PutBe(r, 375, profile_.productId, 2);
  return r;
}

std::vector<std::uint8_t> VirtualReceiver::FlashDescription(bool hardware) const {
  std::vector<std::uint8_t> d(hardware ? 72 : 68, 0);
  PutBe(d, 0, profile_.flashBase, 4);
  PutText(d, 10, profile_.chip, 16);
  PutBe(d, 26, profile_.appStart, 4);
  for (std::size_t i = 0; i < 3; ++i) {
    PutBe(d, 36 + 4 * i, profile_.regions[i].sectors, 4);
    PutBe(d, 52 + 4 * i, profile_.regions[i].sectorSize, 4);
  }
  PutBe(d, 64, profile_.topSectorSize, 4);
  if (hardware) {
    d[68] = profile_.board;
    d[69] = profile_.hwFlags;
  }
  return d;
}

}  // namespace sim
