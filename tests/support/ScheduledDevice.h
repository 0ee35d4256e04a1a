// A serial device whose incoming bytes arrive at scheduled times on the afx
// clock; everything written is taken and dropped. Tests schedule arrivals
// directly, or derive to answer what the host writes.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"

class ScheduledDevice : public afx::SerialDevice {
 public:
  explicit ScheduledDevice(std::string path = "test:") : path_(std::move(path)) {}

  // Arrivals must be scheduled in time order.
  void Arrive(std::int64_t atNs, std::uint8_t byte) { pending_.push_back({atNs, byte}); }

  std::string Path() const override { return path_; }
  bool SetLineSettings(const afx::LineSettings& s) override {
    settings_ = s;
    return true;
  }
  bool GetLineSettings(afx::LineSettings* s) override {
    *s = settings_;
    return true;
  }
  bool IsSpeedSupported(DWORD) override { return true; }
  bool Purge(DWORD) override { return true; }
  bool SetBreak(bool) override { return true; }
  bool EscapeFunction(DWORD) override { return true; }
  bool ClearError(DWORD* e) override {
    if (e) *e = 0;
    return true;
  }
  bool Write(const void*, DWORD count, DWORD* written) override {
    *written = count;
    return true;
  }
  void Close() override {}
  DWORD Held() const override {
    DWORD n = 0;
    for (const auto& [at, byte] : pending_)
      if (at <= afx::GetClock().NowNs()) ++n;
    return n;
  }

 protected:
  bool ReadAvailable(std::uint8_t* out, DWORD max, DWORD* got) override {
    *got = 0;
    const std::int64_t now = afx::GetClock().NowNs();
    while (*got < max && !pending_.empty() && pending_.front().first <= now) {
      out[(*got)++] = pending_.front().second;
      pending_.pop_front();
    }
    return true;
  }
  bool WaitReadable(std::int64_t deadline) override {
    std::int64_t until = deadline;
    if (!pending_.empty() && pending_.front().first < until) until = pending_.front().first;
    afx::GetClock().SleepUntilNs(until);
    return true;
  }

 private:
  std::string path_;
  afx::LineSettings settings_;
  std::deque<std::pair<std::int64_t, std::uint8_t>> pending_;
};
