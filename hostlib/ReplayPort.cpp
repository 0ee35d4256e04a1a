#include "hostlib/ReplayPort.h"

#include <vector>

#include "afx/Registry.h"
#include "afx/ReplaySession.h"
#include "afx/SerialDevice.h"
#include "afx/System.h"
#include "afx/Transcript.h"

namespace {

bool IsReceiverEnd(const std::vector<afx::TranscriptEntry>& entries) {
  return !entries.empty() && entries.front().kind == afx::TranscriptEntry::Kind::Note &&
         entries.front().text.rfind(ReplayPort::kReceiverEnd, 0) == 0;
}

// Only what a receiver's end sees of the host's settings.
afx::LineSettings Framing(const afx::LineSettings& s) {
  afx::LineSettings f;
  f.baudRate = s.baudRate;
  f.byteSize = s.byteSize;
  f.parity = s.parity;
  f.stopBits = s.stopBits;
  return f;
}

// One host opening of a receiver's-end replay. The host's speed and framing
// reach the recording when bytes next cross, as the receiver's end would
// notice them; what that end cannot see passes as done.
class ReceiverEndDevice : public afx::SerialDevice {
 public:
  ReceiverEndDevice(std::shared_ptr<afx::SerialDevice> inner, std::shared_ptr<afx::LineSettings> line)
      : inner_(std::move(inner)), line_(line) {}

  std::string Path() const override { return inner_->Path(); }
  bool SetLineSettings(const afx::LineSettings& s) override {
    settings_ = s;
    pending_ = true;
    return Live();
  }
  bool GetLineSettings(afx::LineSettings* s) override {
    *s = settings_;
    return Live();
  }
  bool IsSpeedSupported(DWORD baud) override { return inner_->IsSpeedSupported(baud); }
  bool Purge(DWORD) override { return Live(); }
  bool SetBreak(bool) override { return Live(); }
  bool EscapeFunction(DWORD) override { return Live(); }
  bool ClearError(DWORD* errors) override {
    if (errors) *errors = 0;
    return Live();
  }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    if (!Flush()) return false;
    afx::COMMTIMEOUTS timeouts;
    GetTimeouts(&timeouts);
    inner_->SetTimeouts(timeouts);
    return Track(inner_->Write(data, count, written));
  }
  void Close() override { closed_ = true; }

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override {
    *got = 0;
    return Flush() && Track(ReadAvailableOf(*inner_, buffer, max, got));
  }
  bool WaitReadable(std::int64_t deadlineNs) override {
    return Flush() && Track(WaitReadableOf(*inner_, deadlineNs));
  }

 private:
  bool Live() {
    if (closed_) SetLastError(ERROR_INVALID_HANDLE);
    return !closed_;
  }
  bool Track(bool ok) {
    if (!ok) SetLastError(inner_->LastError());
    return ok;
  }
  // Hands the settings to the recording when they differ from those in force.
  bool Flush() {
    if (!Live()) return false;
    if (!pending_) return true;
    pending_ = false;
    const afx::LineSettings framing = Framing(settings_);
    if (framing == *line_) return true;
    *line_ = framing;
    return Track(inner_->SetLineSettings(framing));
  }

  std::shared_ptr<afx::SerialDevice> inner_;
  std::shared_ptr<afx::LineSettings> line_;  // in force on the recorded line, across the host's opens
  afx::LineSettings settings_;
  bool pending_ = false;
  bool closed_ = false;
};

}  // namespace

ReplayPort::~ReplayPort() {
  if (opened_) opened_->Close();
  if (session_) session_->Uninstall();
  if (receiverEnd_) afx::UnregisterSerialDeviceProvider(afx::ReplaySession::kPrefix);
  if (!mappedPath_.empty()) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValue(key, mappedPath_.c_str());
      RegCloseKey(key);
    }
  }
}

bool ReplayPort::Start(const std::string& file, int* port, std::string* error) {
  const std::string real = afx::RealPath(file);
  const std::string path = real.empty() ? file : real;
  std::vector<afx::TranscriptEntry> entries;
  std::vector<std::size_t> lines;
  if (!afx::Transcript::ReadFile(path, &entries, error, &lines)) return false;
  receiverEnd_ = IsReceiverEnd(entries);
  auto line = std::make_shared<afx::LineSettings>();
  if (receiverEnd_) {
    // The line as it stood when the recording began is no step of the host's.
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].kind == afx::TranscriptEntry::Kind::Note) continue;
      if (entries[i].kind == afx::TranscriptEntry::Kind::Line) {
        *line = Framing(entries[i].line);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
      }
      break;
    }
    afx::TranscriptEntry open;
    open.kind = afx::TranscriptEntry::Kind::Open;
    open.text = path;
    entries.insert(entries.begin(), open);
    lines.insert(lines.begin(), lines.empty() ? 2 : lines.front());
    afx::TranscriptEntry close;
    close.kind = afx::TranscriptEntry::Kind::Close;
    close.timeNs = entries.back().timeNs;
    entries.push_back(close);
    lines.push_back(lines.back());
  }
  session_ = afx::ReplaySession::Create(std::move(entries), path, std::move(lines));
  if (!receiverEnd_) {
    session_->Install();
  } else {
    std::weak_ptr<afx::ReplaySession> weak = session_;
    afx::RegisterSerialDeviceProvider(
        afx::ReplaySession::kPrefix,
        [this, weak, line](const std::string& name, DWORD* err) -> std::unique_ptr<afx::SerialDevice> {
          auto session = weak.lock();
          if (!session || name != session->DevicePath()) {
            *err = ERROR_FILE_NOT_FOUND;
            return nullptr;
          }
          if (!opened_) opened_ = session->Open(name, err);
          if (!opened_) return nullptr;
          return std::make_unique<ReceiverEndDevice>(opened_, line);
        });
  }
  const bool known = [&] {
    for (const auto& [com, p] : afx::ListMappedComPorts())
      if (p == session_->DevicePath()) return true;
    return false;
  }();
  *port = afx::MapDevicePathToComPort(session_->DevicePath());
  if (*port == 0) {
    *error = "cannot map " + session_->DevicePath() + " to a COM number: " + afx::RegistryLastError();
    return false;
  }
  if (!known) mappedPath_ = session_->DevicePath();
  return true;
}

std::string ReplayPort::Verdict() {
  if (!session_) return "";
  // The recording's one opening ends with the run.
  if (opened_) {
    opened_->Close();
    opened_.reset();
  }
  const std::string deviation = session_->Deviation();
  return deviation.empty() ? session_->Unfinished() : deviation;
}
