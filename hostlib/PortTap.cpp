#include "hostlib/PortTap.h"

#include "afx/SerialDevice.h"
#include "afx/TranscriptRecorder.h"

namespace {

// Passes everything through and counts the bytes.
class CountingDevice : public afx::SerialDevice {
 public:
  CountingDevice(std::unique_ptr<afx::SerialDevice> inner, std::shared_ptr<PortTap::Counts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  std::string Path() const override { return inner_->Path(); }
  bool SetLineSettings(const afx::LineSettings& s) override { return Track(inner_->SetLineSettings(s)); }
  bool GetLineSettings(afx::LineSettings* s) override { return Track(inner_->GetLineSettings(s)); }
  bool IsSpeedSupported(DWORD baud) override { return inner_->IsSpeedSupported(baud); }
  bool Purge(DWORD flags) override { return Track(inner_->Purge(flags)); }
  bool SetBreak(bool on) override { return Track(inner_->SetBreak(on)); }
  bool EscapeFunction(DWORD function) override { return Track(inner_->EscapeFunction(function)); }
  bool ClearError(DWORD* errors) override { return Track(inner_->ClearError(errors)); }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    afx::COMMTIMEOUTS timeouts;
    GetTimeouts(&timeouts);
    inner_->SetTimeouts(timeouts);
    DWORD done = 0;
    const bool ok = Track(inner_->Write(data, count, &done));
    if (written) *written = done;
    counts_->written += done;
    return ok;
  }
  void Close() override { inner_->Close(); }
  int PollFd() const override { return inner_->PollFd(); }
  void ExpectInput(DWORD bytes) override { inner_->ExpectInput(bytes); }
  DWORD Held() const override { return inner_->Held(); }

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override {
    const bool ok = Track(ReadAvailableOf(*inner_, buffer, max, got));
    if (ok) counts_->read += *got;
    if (ok && counts_->watch) counts_->watch->Feed(buffer, *got);
    return ok;
  }
  bool WaitReadable(std::int64_t deadlineNs) override { return Track(WaitReadableOf(*inner_, deadlineNs)); }

 private:
  bool Track(bool ok) {
    if (!ok) SetLastError(inner_->LastError());
    return ok;
  }

  std::unique_ptr<afx::SerialDevice> inner_;
  std::shared_ptr<PortTap::Counts> counts_;
};

}  // namespace

PortTap::PortTap(std::shared_ptr<afx::TranscriptRecorder> recorder, std::shared_ptr<ReceiverWatch> watch)
    : recorder_(std::move(recorder)) {
  counts_->watch = std::move(watch);
  afx::SetSerialDeviceWrapper([this](std::unique_ptr<afx::SerialDevice> device) -> std::unique_ptr<afx::SerialDevice> {
    NoteOpen(device->Path());
    if (recorder_) device = recorder_->Wrap(std::move(device));
    return std::make_unique<CountingDevice>(std::move(device), counts_);
  });
}

PortTap::~PortTap() { afx::SetSerialDeviceWrapper(nullptr); }

void PortTap::NoteOpen(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  opened_.insert(path);
}

bool PortTap::Opened(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_.count(path) > 0;
}

bool PortTap::OpenedAny() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !opened_.empty();
}
