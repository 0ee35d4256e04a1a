// The serial device of a replay: a thin face over a ReplaySession, which
// holds the recording and the place reached in it across reopens.
#pragma once
#include <memory>
#include <string>

#include "afx/SerialDevice.h"
#include "afx/Transcript.h"

namespace afx {

class ReplaySession;

class ReplayDevice : public SerialDevice {
 public:
  ReplayDevice(std::shared_ptr<ReplaySession> session, std::string path);
  ~ReplayDevice() override;
  ReplayDevice(const ReplayDevice&) = delete;
  ReplayDevice& operator=(const ReplayDevice&) = delete;

  std::string Path() const override { return path_; }
  bool SetLineSettings(const LineSettings& settings) override;
  bool GetLineSettings(LineSettings* settings) override;
  bool IsSpeedSupported(DWORD baud) override;
  bool Purge(DWORD flags) override;
  bool SetBreak(bool on) override;
  bool EscapeFunction(DWORD function) override;
  bool ClearError(DWORD* errors) override;
  bool Write(const void* data, DWORD count, DWORD* written) override;
  void Close() override;

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override;
  bool WaitReadable(std::int64_t deadlineNs) override;

 private:
  bool Act(const TranscriptEntry& action);

  std::shared_ptr<ReplaySession> session_;
  std::string path_;
  LineSettings settings_;
  bool closed_ = false;
};

}  // namespace afx
