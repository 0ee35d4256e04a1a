#include "afx/ReplayDevice.h"

#include "afx/Clock.h"
#include "afx/ReplaySession.h"

namespace afx {

ReplayDevice::ReplayDevice(std::shared_ptr<ReplaySession> session, std::string path)
    : session_(std::move(session)), path_(std::move(path)) {}

ReplayDevice::~ReplayDevice() { Close(); }

bool ReplayDevice::Act(const TranscriptEntry& action) {
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!session_->Act(action)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}

bool ReplayDevice::SetLineSettings(const LineSettings& settings) {
  TranscriptEntry e;
  e.kind = TranscriptEntry::Kind::Line;
  e.line = settings;
  if (!Act(e)) return false;
  settings_ = settings;
  return true;
}

bool ReplayDevice::GetLineSettings(LineSettings* settings) {
  *settings = settings_;
  return !closed_;
}

bool ReplayDevice::IsSpeedSupported(DWORD) { return !closed_; }

bool ReplayDevice::Purge(DWORD flags) {
  TranscriptEntry e;
  e.kind = TranscriptEntry::Kind::Purge;
  e.value = flags;
  return Act(e);
}

bool ReplayDevice::SetBreak(bool on) {
  TranscriptEntry e;
  e.kind = TranscriptEntry::Kind::Break;
  e.value = on ? 1 : 0;
  return Act(e);
}

bool ReplayDevice::EscapeFunction(DWORD function) {
  TranscriptEntry e;
  e.kind = TranscriptEntry::Kind::Escape;
  e.value = function;
  return Act(e);
}

bool ReplayDevice::ClearError(DWORD* errors) {
  if (errors) *errors = 0;
  return !closed_;
}

bool ReplayDevice::Write(const void* data, DWORD count, DWORD* written) {
  *written = 0;
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!session_->Write(static_cast<const std::uint8_t*>(data), count, written)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}

void ReplayDevice::Close() {
  if (closed_) return;
  closed_ = true;
  session_->CloseDevice();
}

bool ReplayDevice::ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) {
  *got = 0;
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  *got = session_->Take(buffer, max);
  return true;
}

bool ReplayDevice::WaitReadable(std::int64_t deadlineNs) {
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  Clock& clock = GetClock();
  const std::int64_t next = session_->NextArrivalNs();
  if (next <= clock.NowNs()) return true;
  clock.SleepUntilNs(std::min(deadlineNs, next));
  return true;
}

}  // namespace afx
