// A serial device that passes everything through to the device it wraps and
// tells a TranscriptRecorder what crossed: opens, closes, bytes each way,
// line settings, breaks, purges, modem-line changes and line errors.
#pragma once
#include <memory>
#include <string>

#include "afx/SerialDevice.h"

namespace afx {

class TranscriptRecorder;

class TranscriptDevice : public SerialDevice {
 public:
  TranscriptDevice(std::unique_ptr<SerialDevice> inner, std::shared_ptr<TranscriptRecorder> recorder);
  ~TranscriptDevice() override;
  TranscriptDevice(const TranscriptDevice&) = delete;
  TranscriptDevice& operator=(const TranscriptDevice&) = delete;

  std::string Path() const override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool GetLineSettings(LineSettings* settings) override;
  bool IsSpeedSupported(DWORD baud) override;
  bool Purge(DWORD flags) override;
  bool SetBreak(bool on) override;
  bool EscapeFunction(DWORD function) override;
  bool ClearError(DWORD* errors) override;
  bool Write(const void* data, DWORD count, DWORD* written) override;
  void Close() override;
  int PollFd() const override;
  void ExpectInput(DWORD bytes) override;
  DWORD Held() const override;

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override;
  bool WaitReadable(std::int64_t deadlineNs) override;

 private:
  // Copies the wrapped device's error after a failure; returns `ok`.
  bool Track(bool ok);

  std::unique_ptr<SerialDevice> inner_;
  std::shared_ptr<TranscriptRecorder> recorder_;
  bool closed_ = false;
};

}  // namespace afx
