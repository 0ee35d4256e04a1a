// A serial device that stands for a receiver in tests: every line the host
// writes (ended by '\r') is answered with "OK " + the line after a fixed delay
// on the afx clock. Registered as a provider under a test prefix.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "support/ScheduledDevice.h"

class ScriptedReceiver : public ScheduledDevice {
 public:
  static constexpr std::int64_t kReplyDelayNs = 40'000'000;

  explicit ScriptedReceiver(std::string path) : ScheduledDevice(std::move(path)) {}
  // Serves every device path that starts with `prefix`.
  static void Register(const std::string& prefix) {
    afx::RegisterSerialDeviceProvider(
        prefix, [](const std::string& path, DWORD*) { return std::make_unique<ScriptedReceiver>(path); });
  }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    const auto* p = static_cast<const char*>(data);
    for (DWORD i = 0; i < count; ++i) {
      line_ += p[i];
      if (p[i] == '\r') {
        const std::int64_t at = afx::GetClock().NowNs() + kReplyDelayNs;
        for (const char c : "OK " + line_) Arrive(at, static_cast<std::uint8_t>(c));
        line_.clear();
      }
    }
    *written = count;
    return true;
  }

 private:
  std::string line_;
};
