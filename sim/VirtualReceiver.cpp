#include "sim/VirtualReceiver.h"

#include <algorithm>
#include <climits>

#include "afx/Clock.h"
#include "sim/BreakInfoText.h"
#include "sim/Bytes.h"

namespace sim {

namespace {

constexpr std::int64_t kFrameGapNs = 200 * kMs;

}  // namespace

afx::LineSettings VirtualReceiver::Settings(std::uint32_t baud, int dataBits, char parity, int stopBits) {
  afx::LineSettings s;
  s.baudRate = baud;
  s.byteSize = static_cast<BYTE>(dataBits);
  s.parity = static_cast<BYTE>(std::string("NOEMS").find(parity));
  s.stopBits = static_cast<BYTE>(stopBits == 2 ? 2 : 0);
  return s;
}

VirtualReceiver::VirtualReceiver(Profile profile)
    : profile_(std::move(profile)),
      line_(&transcript_),
      faults_(profile_.faults),
      flash_(profile_.flashBase, profile_.regions, profile_.topSectorSize, profile_.keepFlash),
      report_([](std::uint8_t type) { return type == kUploadRequest; }),
      loader_(4096) {
  appSettings_ = Settings(profile_.baud, profile_.dataBits, profile_.parity, profile_.stopBits);
  monitorSettings_ = Settings(profile_.monitorBaud, 8, 'N', 1);
  errorLog_ = SimErrorLog(profile_.errorLog);
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

std::int64_t VirtualReceiver::NextWakeNs() const {
  std::int64_t next = std::min(line_.LastInFlight(Side::Receiver), line_.NextBreakEdge());
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

}  // namespace sim
