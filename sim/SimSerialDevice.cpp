#include "sim/SimSerialDevice.h"

#include <algorithm>
#include <climits>

#include "afx/Clock.h"
#include "sim/SimAttach.h"

namespace sim {

SimSerialDevice::SimSerialDevice(std::string path, std::shared_ptr<SimAttachment> attachment)
    : path_(std::move(path)),
      attachment_(std::move(attachment)),
      generation_(attachment_->Receiver().LinkGeneration()) {
  attachment_->open_ = true;
  attachment_->Receiver().GetTranscript().Event(afx::GetClock().NowNs(), "host port opened");
}

SimSerialDevice::~SimSerialDevice() { Close(); }

bool SimSerialDevice::Sync() {
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  VirtualReceiver& rx = attachment_->Receiver();
  rx.RunUntil(afx::GetClock().NowNs());
  // A vanished link (USB restart, disconnect) leaves this handle dead for good.
  if (!attachment_->attached_ || rx.LinkGeneration() != generation_ || !rx.LinkPresent()) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}

bool SimSerialDevice::SetLineSettings(const afx::LineSettings& settings) {
  if (!Sync()) return false;
  attachment_->Receiver().Line().SetSettings(Side::Host, settings, afx::GetClock().NowNs());
  return true;
}

bool SimSerialDevice::GetLineSettings(afx::LineSettings* settings) {
  if (!Sync()) return false;
  *settings = attachment_->Receiver().Line().Settings(Side::Host);
  return true;
}

bool SimSerialDevice::IsSpeedSupported(DWORD baud) {
  static const DWORD rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,  19200,
                                38400, 56000, 57600, 115200, 128000, 230400, 256000, 460800};
  return std::find(std::begin(rates), std::end(rates), baud) != std::end(rates);
}

bool SimSerialDevice::Purge(DWORD flags) {
  if (!Sync()) return false;
  SimLine& line = attachment_->Receiver().Line();
  const std::int64_t now = afx::GetClock().NowNs();
  if (flags & (afx::PURGE_RXABORT | afx::PURGE_RXCLEAR)) {
    line.Deliver(Side::Host, now);
    line.DiscardInput(Side::Host);
  }
  if (flags & (afx::PURGE_TXABORT | afx::PURGE_TXCLEAR)) line.DiscardOutput(Side::Host, now);
  return true;
}

bool SimSerialDevice::SetBreak(bool on) {
  if (!Sync()) return false;
  attachment_->Receiver().Line().Break(on, afx::GetClock().NowNs());
  return true;
}

bool SimSerialDevice::EscapeFunction(DWORD) { return Sync(); }

bool SimSerialDevice::ClearError(DWORD* errors) {
  if (errors) *errors = 0;
  return Sync();
}

bool SimSerialDevice::Write(const void* data, DWORD count, DWORD* written) {
  if (written) *written = 0;
  if (!Sync()) return false;
  SimLine& line = attachment_->Receiver().Line();
  line.Send(Side::Host, static_cast<const std::uint8_t*>(data), count, afx::GetClock().NowNs());
  // Like a driver's write, this completes once the bytes are on the wire, so
  // a purge or close right after it cannot take them back.
  afx::GetClock().SleepUntilNs(line.IdleAt(Side::Host));
  if (written) *written = count;
  return true;
}

void SimSerialDevice::Close() {
  if (closed_) return;
  closed_ = true;
  attachment_->open_ = false;
  attachment_->Receiver().GetTranscript().Event(afx::GetClock().NowNs(), "host port closed");
}

bool SimSerialDevice::ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) {
  *got = 0;
  if (!Sync()) return false;
  SimLine& line = attachment_->Receiver().Line();
  line.Deliver(Side::Host, afx::GetClock().NowNs());
  *got = static_cast<DWORD>(line.Take(Side::Host, buffer, max));
  return true;
}

bool SimSerialDevice::WaitReadable(std::int64_t deadlineNs) {
  afx::Clock& clock = afx::GetClock();
  VirtualReceiver& rx = attachment_->Receiver();
  SimLine& line = rx.Line();
  for (;;) {
    if (!Sync()) return false;
    const std::int64_t now = clock.NowNs();
    line.Deliver(Side::Host, now);
    if (line.Available(Side::Host) > 0 || now >= deadlineNs) return true;
    const std::int64_t next = std::min(line.NextArrival(Side::Host), rx.NextEventNs());
    const std::int64_t until = std::min(std::max(next, now + 1), deadlineNs);
    if (next == INT64_MAX && clock.IsVirtual() && attachment_->RealTimeWhenSilent() &&
        (line.LastArrival(Side::Host) == INT64_MIN || now - line.LastArrival(Side::Host) >= SimAttachment::kQuietNs)) {
      // Nothing will happen by itself: the wait is as long as it says.
      afx::RealClock real;
      real.SleepUntilNs(real.NowNs() + (until - now));
    }
    clock.SleepUntilNs(until);
  }
}

}  // namespace sim
