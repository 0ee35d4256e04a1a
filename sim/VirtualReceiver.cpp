#include "sim/VirtualReceiver.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "afx/Clock.h"
#include "sim/BreakInfoText.h"

namespace sim {

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::uint8_t kUploadRequest = 0x9B;
constexpr std::uint8_t kUploadReply = 0x9F;
// GPS time began at 1980-01-06 00:00:00 UTC; the receiver runs 18 s ahead of UTC.
constexpr std::int64_t kGpsEpoch = 315'964'800;
constexpr std::int64_t kLeapSeconds = 18;
constexpr std::int64_t kFrameGapNs = 200 * kMs;

afx::LineSettings Settings(std::uint32_t baud, int dataBits, char parity, int stopBits) {
  afx::LineSettings s;
  s.baudRate = baud;
  s.byteSize = static_cast<BYTE>(dataBits);
  s.parity = static_cast<BYTE>(std::string("NOEMS").find(parity));
  s.stopBits = static_cast<BYTE>(stopBits == 2 ? 2 : 0);
  return s;
}

std::string Hex(std::uint8_t b) {
  char t[8];
  std::snprintf(t, sizeof t, "0x%02X", b);
  return t;
}

std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) << 24 | static_cast<std::uint32_t>(d[at + 1]) << 16 |
         static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3];
}

bool SupportedBaud(std::uint32_t baud) {
  static const std::uint32_t rates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800};
  return std::find(std::begin(rates), std::end(rates), baud) != std::end(rates);
}

// The radio configuration area: a typed dictionary ('E' 'R' 1 n, entries of
// id(2) width(1) value, 16-bit sum) padded with 0xFF; mode 7 areas end in a
// 512-byte block whose last two bytes sum its first 510.
std::vector<std::uint8_t> RadioArea(const Profile& p) {
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
constexpr std::size_t kRadioSettingsMax = 240;
constexpr std::uint8_t kRadioTable = 0x10;

std::vector<std::uint8_t> InitialRadioSettings(const Profile& p) {
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

}  // namespace

VirtualReceiver::VirtualReceiver(Profile profile)
    : profile_(std::move(profile)),
      line_(&transcript_),
      faults_(profile_.faults),
      flash_(profile_.flashBase, profile_.regions, profile_.topSectorSize, profile_.keepFlash),
      report_([](std::uint8_t type) { return type == kUploadRequest; }),
      loader_(4096) {
  appSettings_ = Settings(profile_.baud, profile_.dataBits, profile_.parity, profile_.stopBits);
  monitorSettings_ = Settings(profile_.monitorBaud, 8, 'N', 1);
  errorLog_ = profile_.errorLog;
  network_ = InitialNetwork(profile_);
  radioConfig_ = RadioArea(profile_);
  radioSettings_ = InitialRadioSettings(profile_);
  autoOn_ = profile_.autoOn;
  uploadBusy_ = profile_.uploadBusyFirst;
  mode_ = profile_.startInMonitor ? ReceiverMode::Monitor : ReceiverMode::Application;
  now_ = afx::GetClock().NowNs();
  line_.SetSettings(Side::Host, Settings(9600, 8, 'N', 1), now_);
  line_.SetSettings(Side::Receiver, ModeSettings(), now_);
  line_.SetByteFilter(Side::Host, [this](std::uint8_t& b) { return faults_.OnByte(false, b); });
  line_.SetByteFilter(Side::Receiver, [this](std::uint8_t& b) { return faults_.OnByte(true, b); });
  InstallErrorLogImage();
}

afx::LineSettings VirtualReceiver::ModeSettings() const {
  afx::LineSettings s = mode_ == ReceiverMode::Monitor ? monitorSettings_ : appSettings_;
  if (now_ < wrongBaudUntil_) s.baudRate = wrongBaud_;
  return s;
}

void VirtualReceiver::Note(const std::string& text) { transcript_.Event(now_, text); }

void VirtualReceiver::After(std::int64_t atNs, std::function<void()> action, bool survivesRestart) {
  timers_.push(Timer{atNs, timerSeq_++, survivesRestart ? UINT64_MAX : epoch_, std::move(action)});
}

std::int64_t VirtualReceiver::NextEventNs() const {
  std::int64_t next = std::min(line_.NextArrival(Side::Receiver), line_.NextBreakEdge());
  if (!timers_.empty()) next = std::min(next, timers_.top().at);
  return next;
}

void VirtualReceiver::RunUntil(std::int64_t nowNs) {
  for (;;) {
    const std::int64_t byteAt = line_.NextArrival(Side::Receiver);
    const std::int64_t breakAt = line_.NextBreakEdge();
    const std::int64_t timerAt = timers_.empty() ? INT64_MAX : timers_.top().at;
    const std::int64_t next = std::min({byteAt, breakAt, timerAt});
    if (next > nowNs || next == INT64_MAX) break;
    now_ = std::max(now_, next);
    if (timerAt == next) {
      Timer t = timers_.top();
      timers_.pop();
      if (t.epoch == UINT64_MAX || t.epoch == epoch_) t.action();
    } else if (breakAt == next) {
      bool on = false;
      line_.TakeBreakEdge(&on);
      breakHeld_ = on;
      if (!on) OnBreakEnd();
    } else {
      std::uint8_t b = 0;
      if (line_.DeliverNext(Side::Receiver, next, &b)) OnByte(b);
    }
  }
  now_ = std::max(now_, nowNs);
}

void VirtualReceiver::OnByte(std::uint8_t b) {
  if (mode_ == ReceiverMode::Restarting || !linkPresent_ || breakHeld_ || now_ < cutUntil_) return;
  // A pause on the line ends whatever half frame came before it, so line
  // noise cannot swallow the next good request.
  if (now_ - lastByteNs_ > kFrameGapNs) {
    report_.Reset();
    loader_.Reset();
  }
  lastByteNs_ = now_;
  const bool reportDone = report_.Feed(b);
  if (mode_ == ReceiverMode::Application) {
    if (reportDone) OnReport(report_.Frame());
    return;
  }
  // The monitor answers the break-info request too; nothing else of the report protocol.
  if (reportDone && report_.Frame().type == kBreakRequestType && report_.Frame().data.empty()) {
    loader_.Reset();
    Note("request break-info (monitor)");
    if (Admit(kBreakRequestType, "fault: NAK", [this] { Nak(); })) SendBreakInfo(false);
    return;
  }
  if (loader_.Feed(b)) OnLoader(loader_.Frame());
}

void VirtualReceiver::OnBreakEnd() {
  if (mode_ == ReceiverMode::Restarting || !linkPresent_ || now_ < cutUntil_) return;
  report_.Reset();
  loader_.Reset();
  Note("request break");
  if (Admit(-1, "fault: NAK", [this] { Nak(); })) SendBreakInfo(true);
}

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

std::int64_t VirtualReceiver::SendRaw(const std::vector<std::uint8_t>& bytes, int type, const std::string& note) {
  const ReplyVerdict v = faults_.OnReply(type);
  if (v.drop) {
    Note("fault: reply dropped (" + note + ")");
    return now_;
  }
  std::vector<std::uint8_t> out = bytes;
  std::string what = note;
  if (v.corrupt && out.size() >= 2) {
    out[out.size() - 2] ^= 0xFF;
    what += " [fault: corrupted]";
  }
  if (v.delayMs) what += " [fault: +" + std::to_string(v.delayMs) + " ms]";
  const std::int64_t start = now_ + static_cast<std::int64_t>(profile_.turnaroundUs) * 1000 + v.delayMs * kMs;
  if (start < cutUntil_) {
    Note("fault: reply lost on the cut line (" + note + ")");
    return now_;
  }
  const std::int64_t done = line_.Send(Side::Receiver, out, start, what);
  if (!v.duplicate) return done;
  return line_.Send(Side::Receiver, out, done, what + " [fault: duplicate]");
}

std::int64_t VirtualReceiver::ReplyReport(std::uint8_t type, const std::vector<std::uint8_t>& data, bool longForm) {
  return SendRaw(ReportCodec::Encode(type, data, longForm), type,
                 "report " + Hex(type) + " len " + std::to_string(data.size()));
}

std::int64_t VirtualReceiver::ReplyLoader(std::uint8_t command, const std::vector<std::uint8_t>& data) {
  return SendRaw(LoaderCodec::Encode(command, data), command,
                 "loader " + std::to_string(command) + " len " + std::to_string(data.size()));
}

std::int64_t VirtualReceiver::Ack() { return SendRaw({kAck}, -1, "ACK"); }
std::int64_t VirtualReceiver::Nak() { return SendRaw({kNak}, -1, "NAK"); }

void VirtualReceiver::Restart(ReceiverMode target, std::uint32_t delayMs, std::int64_t fromNs) {
  ++restarts_;
  ++epoch_;
  const std::int64_t start = std::max(fromNs, now_);
  After(start, [this, target, delayMs] {
    mode_ = ReceiverMode::Restarting;
    pipeOpen_ = false;
    installStartNs_ = -1;
    uploadInstallForm_ = false;
    installFinished_ = false;
    report_.Reset();
    loader_.Reset();
    Note(std::string("restarting into the ") + (target == ReceiverMode::Monitor ? "monitor" : "application"));
    if (profile_.port == 15) {
      // Over USB the receiver's port disappears with it.
      linkPresent_ = false;
      ++linkGeneration_;
      line_.DropInFlight();
      Note("USB link gone");
    }
    After(now_ + static_cast<std::int64_t>(delayMs) * kMs, [this, target] {
      mode_ = target;
      linkPresent_ = true;
      line_.SetSettings(Side::Receiver, ModeSettings(), now_);
      if (target == ReceiverMode::Monitor) InstallErrorLogImage();
      Note(std::string("running the ") + (target == ReceiverMode::Monitor ? "monitor" : "application"));
    }, true);
  }, true);
}

void VirtualReceiver::Disconnect(std::uint32_t ms) {
  linkPresent_ = false;
  ++linkGeneration_;
  line_.DropInFlight();
  Note("fault: link disconnected for " + std::to_string(ms) + " ms");
  After(now_ + static_cast<std::int64_t>(ms) * kMs, [this] {
    linkPresent_ = true;
    Note("link back");
  }, true);
}

void VirtualReceiver::Cut(std::uint32_t ms) {
  cutUntil_ = now_ + static_cast<std::int64_t>(ms) * kMs;
  line_.DropInFlight();
  Note("fault: line cut for " + std::to_string(ms) + " ms");
}

void VirtualReceiver::WrongBaud(std::uint32_t baud, std::uint32_t ms) {
  wrongBaud_ = baud;
  wrongBaudUntil_ = now_ + static_cast<std::int64_t>(ms) * kMs;
  line_.SetSettings(Side::Receiver, ModeSettings(), now_);
  Note("fault: port at " + std::to_string(baud) + " baud for " + std::to_string(ms) + " ms");
  After(wrongBaudUntil_, [this] { line_.SetSettings(Side::Receiver, ModeSettings(), now_); }, true);
}

bool VirtualReceiver::Admit(int type, const char* refusedNote, const std::function<void()>& refuse) {
  const RequestVerdict v = faults_.OnRequest(type);
  if (v.disconnectMs) {
    Disconnect(v.disconnectMs);
    return false;
  }
  if (v.cutMs) {
    Cut(v.cutMs);
    return false;
  }
  if (v.reset) {
    Note("fault: reset");
    Restart(ReceiverMode::Application, profile_.resetMs, now_);
    return false;
  }
  // The request got through; what follows, its reply included, meets the wrong speed.
  if (v.wrongBaudMs) WrongBaud(v.wrongBaud, v.wrongBaudMs);
  if (v.silent) {
    Note("fault: silent");
    return false;
  }
  if (v.nak) {
    Note(refusedNote);
    refuse();
    return false;
  }
  return true;
}

std::size_t VirtualReceiver::ErrorLogCount() const {
  return static_cast<std::size_t>(std::count_if(errorLog_.begin(), errorLog_.end(), [](const ErrorLogEntry& e) {
    return e.state == 0xFC || e.state == 0xF8;
  }));
}

// ---------------------------------------------------------------- application

void VirtualReceiver::OnReport(const ReportFrame& f) {
  Note("request report " + Hex(f.type) + " len " + std::to_string(f.data.size()));
  if (!Admit(f.type, "fault: NAK", [this] { Nak(); })) return;
  const auto& d = f.data;
  switch (f.type) {
    case kBreakRequestType:
      SendBreakInfo(false);
      break;
    case 0x06:
      ReplyReport(0x07, VersionText());
      break;
    case 0x14:
      ReplyReport(0x15, GpsTimeText());
      break;
    case 0x48:
      SetComms(d);
      break;
    case 0x91:
      ErrorLogRequest(d);
      break;
    case 0x4A:
      ReplyReport(0x4B, Capability());
      break;
    case 0x84:
      if (d.size() == 2 && d[1] == 0x00) {
        // The receiver takes its port back from the radio.
        pipeOpen_ = false;
        Ack();
      } else if (d.size() != 2 || d[1] != 0x04 || profile_.radioPipe == Profile::Pipe::Nak) {
        Nak();
      } else if (profile_.radioPipe == Profile::Pipe::Ack) {
        pipeOpen_ = true;
        Ack();
      }
      break;
    case 0x77:
      RadioQuery(d);
      break;
    case 0xB9:
      Clone(d);
      break;
    case 0xAE:
      Ethernet(d);
      break;
    case 0x58:
      ResetRequest(d);
      break;
    case 0x87:
      Restart(ReceiverMode::Monitor, profile_.appToMonitorMs, now_);
      break;
    case 0x51:
      outputsOff_ = true;
      Ack();
      break;
    case kUploadRequest:
      Upload(d);
      break;
    default:
      Nak();
      break;
  }
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
  gmtime_r(&utc, &tm);
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

void VirtualReceiver::SetComms(const std::vector<std::uint8_t>& d) {
  const std::uint32_t baud = d.size() >= 5 ? (static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4]) : 0;
  const bool ok = d.size() == 10 && profile_.acceptSetComms && SupportedBaud(baud) && (d[5] == 7 || d[5] == 8) &&
                  d[6] <= 4 && (d[7] == 1 || d[7] == 2);
  if (!ok) {
    ReplyReport(0x00, {0x00});
    return;
  }
  const std::int64_t done = Ack();
  afx::LineSettings s = appSettings_;
  s.baudRate = baud;
  s.byteSize = d[5];
  s.parity = d[6];
  s.stopBits = d[7] == 2 ? 2 : 0;
  // The port changes speed once the acknowledgement has left it.
  After(done, [this, s] {
    appSettings_ = s;
    if (mode_ == ReceiverMode::Application) line_.SetSettings(Side::Receiver, s, now_);
    Note("application port now " + std::to_string(s.baudRate) + " baud");
  });
}

namespace {
void Put(std::vector<std::uint8_t>& d, std::size_t at, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}
}  // namespace

NetworkSettings VirtualReceiver::InitialNetwork(const Profile& profile) {
  NetworkSettings n;
  n.dhcp = profile.dhcp;
  std::copy(std::begin(profile.ip), std::end(profile.ip), n.ip);
  std::copy(std::begin(profile.netmask), std::end(profile.netmask), n.netmask);
  std::copy(std::begin(profile.broadcast), std::end(profile.broadcast), n.broadcast);
  std::copy(std::begin(profile.gateway), std::end(profile.gateway), n.gateway);
  std::copy(std::begin(profile.dns), std::end(profile.dns), n.dns);
  n.httpPort = profile.httpPort;
  std::copy(std::begin(profile.httpExtra), std::end(profile.httpExtra), n.httpExtra);
  return n;
}

void VirtualReceiver::PutEntryFields(std::vector<std::uint8_t>& d, std::size_t at, const ErrorLogEntry& e) {
  Put(d, at, e.number, 4);
  Put(d, at + 4, e.pc, 4);
  Put(d, at + 8, e.da, 4);
  Put(d, at + 12, e.rr1, 4);
  Put(d, at + 16, e.rr2, 4);
  Put(d, at + 20, e.version, 2);
  Put(d, at + 22, e.year, 2);
  d[at + 24] = e.month;
  d[at + 25] = e.day;
  d[at + 26] = e.id;
  d[at + 27] = e.vpc;
  Put(d, at + 28, e.timeOfWeek, 4);
  Put(d, at + 32, e.week, 2);
}

std::vector<std::uint8_t> VirtualReceiver::ErrorLogReply(std::size_t index, bool longForm) const {
  std::vector<const ErrorLogEntry*> entries;
  for (const auto& e : errorLog_)
    if (e.state == 0xFC || e.state == 0xF8) entries.push_back(&e);
  if (index >= entries.size()) return {};
  const ErrorLogEntry& e = *entries[index];
  if (!longForm) {
    std::vector<std::uint8_t> d(38, 0);
    d[0] = 0xFF;
    d[1] = 0x09;
    Put(d, 4, e.number, 4);
    d[8] = e.id;
    d[9] = e.vpc;
    Put(d, 10, e.pc, 4);
    Put(d, 14, e.da, 4);
    Put(d, 18, e.rr1, 4);
    Put(d, 22, e.rr2, 4);
    Put(d, 26, e.version, 2);
    Put(d, 28, e.year, 2);
    d[30] = e.month;
    d[31] = e.day;
    Put(d, 32, e.timeOfWeek, 4);
    Put(d, 36, e.week, 2);
    return d;
  }
  std::vector<std::uint8_t> d(129, 0);
  d[0] = 0xFF;
  d[1] = 0x0B;
  PutEntryFields(d, 5, e);
  Put(d, 39, e.upTime, 4);
  Put(d, 43, e.stackPointer, 4);
  for (int i = 0; i < 3; ++i) Put(d, 47 + 4 * static_cast<std::size_t>(i), 0x02440100u + 0x40u * static_cast<unsigned>(i), 4);
  Put(d, 87, 4, 2);
  d[89] = 'E';
  d[90] = 'L';
  d[91] = 'O';
  d[92] = 'G';
  return d;
}

void VirtualReceiver::ErrorLogRequest(const std::vector<std::uint8_t>& d) {
  if (d.empty()) {
    Nak();
    return;
  }
  const std::size_t count = ErrorLogCount();
  switch (d[0]) {
    case 0x06:
      ReplyReport(0x92, {0xFF, 0x07, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
      break;
    case 0x08:
    case 0x0A: {
      if (d.size() != 3) {
        Nak();
        break;
      }
      const bool longForm = d[0] == 0x0A;
      // A receiver without the indexed long form keeps quiet, as older firmware does.
      if (longForm && !profile_.errorLogLongForm) break;
      const std::size_t index = static_cast<std::size_t>(d[1]) << 8 | d[2];
      const auto reply = ErrorLogReply(index, longForm);
      if (reply.empty()) Nak();
      else ReplyReport(0x92, reply);
      break;
    }
    case 0x01:
      errorLog_.clear();
      InstallErrorLogImage();
      Ack();
      break;
    default:
      Nak();
  }
}

namespace {
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

// The radio takes new software in three steps, each answered A0 <step> <status>
// (status 0 accepted, 1 refused): 'U' size(4) crc32(4); 'D' offset(4) bytes
// (1..200, in order); 'E' installs when size and CRC match, after which the
// radio restarts and synchronises again.
void VirtualReceiver::RadioLoad(const std::vector<std::uint8_t>& d) {
  const std::uint8_t step = d[0];
  bool ok = false;
  if (step == 'U' && d.size() == 9) {
    radioExpectedSize_ = Be32(d, 1);
    radioExpectedCrc_ = Be32(d, 5);
    radioIncoming_.clear();
    radioLoading_ = radioExpectedSize_ > 0 && radioExpectedSize_ <= 0x100000;
    ok = radioLoading_;
  } else if (step == 'D' && d.size() > 5 && d.size() <= 205) {
    ok = radioLoading_ && Be32(d, 1) == radioIncoming_.size() &&
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
      r.insert(r.end(), v.begin(), v.end());
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

void VirtualReceiver::Clone(const std::vector<std::uint8_t>& d) {
  if (d.size() < 2) {
    Nak();
    return;
  }
  if (d[0] == 0x03 && d[1] == 0x00) {
    const bool wellFormed = d.size() >= 6 && d.size() == 6u + d[5];
    if (!wellFormed || !profile_.cloneAccept) {
      ReplyReport(0xB9, {0x03, 0x00, 0x01});
      return;
    }
    cloneSize_ = static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4];
    cloneName_.assign(d.begin() + 6, d.end());
    cloneData_.clear();
    cloneOpen_ = true;
    ReplyReport(0xB9, {0x03, 0x00, 0x00});
  } else if (d[0] == 0x03 && d[1] == 0x01) {
    const std::uint32_t offset = d.size() >= 5 ? (static_cast<std::uint32_t>(d[2]) << 16 | d[3] << 8 | d[4]) : 0;
    const bool ok = cloneOpen_ && d.size() > 5 && offset == cloneData_.size() &&
                    cloneData_.size() + (d.size() - 5) <= cloneSize_;
    if (ok) cloneData_.insert(cloneData_.end(), d.begin() + 5, d.end());
    ReplyReport(0xB9, {0x03, 0x01, 0x00, 0x00, static_cast<std::uint8_t>(ok ? 0x00 : 0x01), 0x00});
  } else if (d[0] == 0x03 && d[1] == 0x02) {
    const bool ok = cloneOpen_ && cloneData_.size() == cloneSize_;
    if (ok) cloneFiles_[cloneName_] = cloneData_;
    cloneOpen_ = false;
    ReplyReport(0xB9, {0x03, 0x02, static_cast<std::uint8_t>(ok ? 0x00 : 0x01)});
  } else if (d[0] == 0x02) {
    const std::size_t n = d[1];
    if (d.size() != 2 + n + 3 || n < 4) {
      ReplyReport(0xB9, {0x02, 0xFF});
      return;
    }
    CloneActivation a;
    a.name.assign(d.begin() + 2, d.begin() + 2 + static_cast<std::ptrdiff_t>(n));
    a.installIp = d[2 + n] != 0;
    a.installWifi = d[3 + n] != 0;
    a.resetFirst = d[4 + n] != 0;
    activations_.push_back(a);
    const std::string stored = a.name.size() > 4 ? a.name.substr(0, a.name.size() - 4) : a.name;
    if (!cloneFiles_.count(stored)) {
      ReplyReport(0xB9, {0x02, 0x05});
      return;
    }
    // Activation reports its progress on its own, one status per interval.
    const auto& seq = profile_.cloneActivation;
    for (std::size_t i = 0; i < seq.size(); ++i) {
      const std::uint8_t status = seq[i];
      After(now_ + static_cast<std::int64_t>(i * profile_.cloneIntervalMs) * kMs,
            [this, status] { ReplyReport(0xB9, {0x02, status}); });
    }
  } else {
    Nak();
  }
}

void VirtualReceiver::Ethernet(const std::vector<std::uint8_t>& d) {
  if (d.empty()) {
    Nak();
    return;
  }
  NetworkSettings& n = network_;
  auto quad = [](std::vector<std::uint8_t>& out, const std::uint8_t* q) { out.insert(out.end(), q, q + 4); };
  switch (d[0]) {
    case 0x00: {
      std::vector<std::uint8_t> r{0x00, n.dhcp};
      quad(r, n.ip);
      quad(r, n.netmask);
      quad(r, n.broadcast);
      quad(r, n.gateway);
      quad(r, n.dns);
      ReplyReport(0xAE, r);
      break;
    }
    case 0x12:
      ReplyReport(0xAE, {0x12, static_cast<std::uint8_t>(n.httpPort >> 8), static_cast<std::uint8_t>(n.httpPort),
                         n.httpExtra[0], n.httpExtra[1]});
      break;
    case 0x02:
      if (d.size() != 22 || d[1] > 1) {
        Nak();
        break;
      }
      n.dhcp = d[1];
      std::copy(d.begin() + 2, d.begin() + 6, n.ip);
      std::copy(d.begin() + 6, d.begin() + 10, n.netmask);
      std::copy(d.begin() + 10, d.begin() + 14, n.broadcast);
      std::copy(d.begin() + 14, d.begin() + 18, n.gateway);
      std::copy(d.begin() + 18, d.begin() + 22, n.dns);
      Ack();
      break;
    case 0x14:
      if (d.size() != 5) {
        Nak();
        break;
      }
      n.httpPort = static_cast<std::uint16_t>(d[1] << 8 | d[2]);
      n.httpExtra[0] = d[3];
      n.httpExtra[1] = d[4];
      Ack();
      break;
    default:
      Nak();
  }
}

void VirtualReceiver::ResetRequest(const std::vector<std::uint8_t>& d) {
  static const std::uint8_t text[] = {'R', 'E', 'S', 'E', 'T'};
  if (d.size() != 7 || d[0] != 0xFF || d[1] > 3 || !std::equal(std::begin(text), std::end(text), d.begin() + 2)) {
    Nak();
    return;
  }
  resetModes_.push_back(d[1]);
  const std::int64_t done = Ack();
  if (d[1] == 3) {
    // Factory defaults: settings, logs and stored files go.
    errorLog_.clear();
    cloneFiles_.clear();
    appSettings_ = Settings(profile_.baud, profile_.dataBits, profile_.parity, profile_.stopBits);
    network_ = InitialNetwork(profile_);
  }
  Restart(ReceiverMode::Application, profile_.resetMs, done);
}

std::uint8_t VirtualReceiver::InstallState() {
  if (installStartNs_ < 0) return 0;
  std::int64_t t = installStartNs_;
  for (const auto& [state, ms] : profile_.uploadStates) {
    t += static_cast<std::int64_t>(ms) * kMs;
    if (now_ < t) return state;
  }
  return profile_.uploadStates.back().first;
}

void VirtualReceiver::Upload(const std::vector<std::uint8_t>& d) {
  auto reply = [&](std::uint8_t result, std::uint8_t state) {
    ReplyReport(kUploadReply, {d.empty() ? std::uint8_t{0} : d[0], 0x00, result, state}, true);
  };
  if (d.size() < 2) {
    Nak();
    return;
  }
  if (d[0] == 0x07 && d[1] == 0x00) {
    if (uploadInstallForm_ && installStartNs_ < 0) {
      installStartNs_ = now_;
      Note("installing the uploaded image");
      std::int64_t total = 0;
      for (const auto& s : profile_.uploadStates) total += static_cast<std::int64_t>(s.second) * kMs;
      After(now_ + total, [this] { FinishInstall(); });
    }
    reply(uploadBusy_ ? 1 : 0, InstallState());
  } else if (d[0] == 0x06 && d[1] == 0x02) {
    uploadBusy_ = false;
    upload_.clear();
    uploadInstallForm_ = false;
    installStartNs_ = -1;
    reply(0, 0);
  } else if (d[0] == 0x06 && (d[1] == 0x00 || d[1] == 0x01) && d.size() >= 6) {
    const std::uint32_t address = Be32(d, 2);
    const std::size_t n = d.size() - 6;
    if (address > (16u << 20) || installStartNs_ >= 0) {
      reply(3, 0);
      return;
    }
    if (upload_.size() < address + n) upload_.resize(address + n, 0xFF);
    std::copy(d.begin() + 6, d.end(), upload_.begin() + address);
    if (d[1] == 0x00) uploadInstallForm_ = true;
    reply(2, 0);
  } else if (d[0] == kIdentityQuery && d[1] == 0x00) {
    std::vector<std::uint8_t> r(kIdentityReplySize, 0);
    r[0] = kIdentityQuery;
    r[kIdentityProductCode] = profile_.productCode;
    r[kIdentityCapability] = profile_.capability;
    Put(r, kIdentityProductId, profile_.productId, 2);
    r[kIdentityInstalled] = profile_.installedMajor;
    r[kIdentityInstalled + 1] = profile_.installedMinor;
    r[kIdentityMonitor] = profile_.monitorMajor;
    r[kIdentityMonitor + 1] = profile_.monitorMinor;
    std::copy(profile_.product.begin(), profile_.product.end(), r.begin() + kIdentityProductName);
    std::copy(profile_.serial.begin(), profile_.serial.end(), r.begin() + kIdentitySerial);
    ReplyReport(kUploadReply, r, true);
  } else {
    Nak();
  }
}

void VirtualReceiver::FinishInstall() {
  if (installFinished_) return;
  installFinished_ = true;
  const std::uint8_t last = profile_.uploadStates.back().first;
  if (last != 6) {
    Note("install failed");
    return;
  }
  ++installs_;
  // A container is installed section by section at each section's address;
  // anything else is an application image for the application area.
  const auto& u = upload_;
  bool container = false;
  if (u.size() >= 0x6C) {
    const std::size_t n = static_cast<std::size_t>(u[0x16]) << 8 | u[0x17];
    std::uint64_t payload = 0x6C + 84u * n;
    container = n > 0 && n < 64 && payload <= u.size();
    for (std::size_t i = 0; container && i < n; ++i) {
      const std::size_t e = 0x6C + 84 * i;
      const std::uint32_t length = Be32(u, e + 8);
      const std::uint32_t address = Be32(u, e + 0x10);
      if (payload + length > u.size()) {
        container = false;
        break;
      }
      std::uint32_t start = 0, size = 0;
      for (std::uint64_t a = address; a < std::uint64_t{address} + length; a = std::uint64_t{start} + size) {
        flash_.SectorOf(static_cast<std::uint32_t>(a), &start, &size);
        flash_.EraseSector(start);
      }
      flash_.Program(address, u.data() + payload, length);
      payload += length;
    }
  }
  if (!container) {
    std::uint32_t start = 0, size = 0;
    for (std::uint64_t a = profile_.appStart; a < std::uint64_t{profile_.appStart} + u.size(); a = std::uint64_t{start} + size) {
      flash_.SectorOf(static_cast<std::uint32_t>(a), &start, &size);
      flash_.EraseSector(start);
    }
    flash_.Program(profile_.appStart, u.data(), u.size());
  }
  Note("install done; restarting");
  Restart(ReceiverMode::Application, profile_.monitorToAppMs, now_ + static_cast<std::int64_t>(profile_.uploadRebootMs) * kMs);
}

}  // namespace sim
