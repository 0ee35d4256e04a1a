// The host's end of a SimLine as an afx serial device, so that the port
// layer reaches the virtual receiver through the same code as a real port.
// In virtual time a blocking read moves the clock to the earlier of its
// deadline and the next thing the receiver does; when the receiver will do
// nothing more by itself, see SimAttachment::SetRealTimeWhenSilent.
#pragma once
#include <memory>
#include <string>

#include "afx/SerialDevice.h"

namespace sim {

class SimAttachment;

class SimSerialDevice : public afx::SerialDevice {
 public:
  SimSerialDevice(std::string path, std::shared_ptr<SimAttachment> attachment);
  ~SimSerialDevice() override;

  std::string Path() const override { return path_; }
  bool SetLineSettings(const afx::LineSettings& settings) override;
  bool GetLineSettings(afx::LineSettings* settings) override;
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
  // Brings the receiver up to now; false (with LastError) when the device is gone.
  bool Sync();
  std::string path_;
  std::shared_ptr<SimAttachment> attachment_;
  std::uint64_t generation_;
  bool closed_ = false;
};

}  // namespace sim
