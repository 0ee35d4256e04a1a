#include "afx/TranscriptDevice.h"

#include "afx/System.h"
#include "afx/TranscriptRecorder.h"

namespace afx {

namespace {

TranscriptEntry Entry(TranscriptEntry::Kind kind, DWORD value = 0) {
  TranscriptEntry e;
  e.kind = kind;
  e.value = value;
  return e;
}

}  // namespace

TranscriptDevice::TranscriptDevice(std::unique_ptr<SerialDevice> inner, std::shared_ptr<TranscriptRecorder> recorder)
    : inner_(std::move(inner)), recorder_(std::move(recorder)) {
  TranscriptEntry open = Entry(TranscriptEntry::Kind::Open);
  open.text = inner_->Path();
  recorder_->Record(open);
  // A by-id name is a link that moves when the device re-enumerates; say where it led this time.
  const std::string real = RealPath(open.text);
  if (!real.empty() && open.text != real) recorder_->Note(open.text + " is " + real);
}

TranscriptDevice::~TranscriptDevice() { Close(); }

std::string TranscriptDevice::Path() const { return inner_->Path(); }

bool TranscriptDevice::Track(bool ok) {
  if (!ok) SetLastError(inner_->LastError());
  return ok;
}

bool TranscriptDevice::SetLineSettings(const LineSettings& settings) {
  if (!Track(inner_->SetLineSettings(settings))) {
    recorder_->Note("line settings refused: " + std::to_string(settings.baudRate) + " " +
                    Transcript::FramingText(settings));
    return false;
  }
  TranscriptEntry e = Entry(TranscriptEntry::Kind::Line);
  e.line = settings;
  recorder_->Record(e);
  return true;
}

bool TranscriptDevice::GetLineSettings(LineSettings* settings) { return Track(inner_->GetLineSettings(settings)); }

bool TranscriptDevice::IsSpeedSupported(DWORD baud) { return inner_->IsSpeedSupported(baud); }

bool TranscriptDevice::Purge(DWORD flags) {
  recorder_->Record(Entry(TranscriptEntry::Kind::Purge, flags));
  return Track(inner_->Purge(flags));
}

bool TranscriptDevice::SetBreak(bool on) {
  recorder_->Record(Entry(TranscriptEntry::Kind::Break, on ? 1 : 0));
  return Track(inner_->SetBreak(on));
}

bool TranscriptDevice::EscapeFunction(DWORD function) {
  recorder_->Record(Entry(TranscriptEntry::Kind::Escape, function));
  return Track(inner_->EscapeFunction(function));
}

bool TranscriptDevice::ClearError(DWORD* errors) {
  DWORD seen = 0;
  const bool ok = Track(inner_->ClearError(&seen));
  if (errors) *errors = seen;
  if (seen) {
    std::string names;
    if (seen & CE_RXOVER) names += " rx-overflow";
    if (seen & CE_OVERRUN) names += " overrun";
    if (seen & CE_RXPARITY) names += " parity";
    if (seen & CE_FRAME) names += " framing";
    if (seen & CE_BREAK) names += " break";
    recorder_->Note("line errors:" + names);
  }
  return ok;
}

bool TranscriptDevice::Write(const void* data, DWORD count, DWORD* written) {
  COMMTIMEOUTS timeouts;
  GetTimeouts(&timeouts);
  inner_->SetTimeouts(timeouts);
  const bool ok = Track(inner_->Write(data, count, written));
  recorder_->RecordBytes(TranscriptEntry::Kind::Tx, static_cast<const std::uint8_t*>(data), *written);
  if (*written < count)
    recorder_->Note("write ended after " + std::to_string(*written) + " of " + std::to_string(count) + " bytes");
  if (ok && *written < count) SetLastError(inner_->LastError());
  return ok;
}

void TranscriptDevice::Close() {
  if (closed_) return;
  closed_ = true;
  inner_->Close();
  recorder_->Record(Entry(TranscriptEntry::Kind::Close));
}

int TranscriptDevice::PollFd() const { return inner_->PollFd(); }

void TranscriptDevice::ExpectInput(DWORD bytes) { inner_->ExpectInput(bytes); }

DWORD TranscriptDevice::Held() const { return inner_->Held(); }

bool TranscriptDevice::ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) {
  const bool ok = Track(ReadAvailableOf(*inner_, buffer, max, got));
  if (ok) recorder_->RecordBytes(TranscriptEntry::Kind::Rx, buffer, *got);
  return ok;
}

bool TranscriptDevice::WaitReadable(std::int64_t deadlineNs) { return Track(WaitReadableOf(*inner_, deadlineNs)); }

}  // namespace afx
