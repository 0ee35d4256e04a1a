// A serial device that stands for a receiver in tests: every line the host
// writes (ended by '\r') is answered with "OK " + the line after a fixed delay
// on the afx clock. Registered as a provider under a test prefix.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"

class ScriptedReceiver : public afx::SerialDevice {
 public:
  static constexpr std::int64_t kReplyDelayNs = 40'000'000;

  explicit ScriptedReceiver(std::string path) : path_(std::move(path)) {}
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
  bool Write(const void* data, DWORD count, DWORD* written) override {
    const auto* p = static_cast<const char*>(data);
    for (DWORD i = 0; i < count; ++i) {
      line_ += p[i];
      if (p[i] == '\r') {
        const std::int64_t at = afx::GetClock().NowNs() + kReplyDelayNs;
        for (const char c : "OK " + line_) pending_.push_back({at, static_cast<std::uint8_t>(c)});
        line_.clear();
      }
    }
    *written = count;
    return true;
  }
  void Close() override {}

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
  std::string line_;
  std::deque<std::pair<std::int64_t, std::uint8_t>> pending_;
};
