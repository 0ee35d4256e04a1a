// Every wait and every reading of time goes through the clock service, so
// that tests and simulated runs can skip the receiver's long waits.
#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>

#include "afx/WinTypes.h"

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

namespace afx {

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time in nanoseconds since an arbitrary origin.
  virtual std::int64_t NowNs() = 0;
  // Blocks (or, in virtual time, moves time) until NowNs() >= deadline.
  virtual void SleepUntilNs(std::int64_t deadlineNs) = 0;
  // Seconds since the epoch, whole-second resolution like time().
  virtual std::time_t WallTime() = 0;
  // Wall time with milliseconds, in local time.
  virtual void LocalTime(SYSTEMTIME* out) = 0;
  // True when waits do not pass in real time.
  virtual bool IsVirtual() const { return false; }
  // How long `clockNs` of this clock's time lasts in real time, for waits
  // that the operating system times (poll): they are given real time.
  virtual std::int64_t RealNs(std::int64_t clockNs) const { return clockNs; }

  void SleepMs(DWORD ms) { SleepUntilNs(NowNs() + static_cast<std::int64_t>(ms) * 1'000'000); }
};

// The machine's clocks.
class RealClock : public Clock {
 public:
  std::int64_t NowNs() override;
  void SleepUntilNs(std::int64_t deadlineNs) override;
  std::time_t WallTime() override;
  void LocalTime(SYSTEMTIME* out) override;
};

// Virtual time: nothing waits; sleeping moves the clock. The wall clock starts
// at a fixed moment so that runs are reproducible. Thread-safe.
class VirtualClock : public Clock {
 public:
  explicit VirtualClock(std::time_t wallStart = 1'767'225'600 /* 2026-01-01 00:00:00 UTC */);
  std::int64_t NowNs() override;
  void SleepUntilNs(std::int64_t deadlineNs) override;
  std::time_t WallTime() override;
  void LocalTime(SYSTEMTIME* out) override;
  bool IsVirtual() const override { return true; }

  void AdvanceNs(std::int64_t ns);
  void AdvanceMs(std::int64_t ms) { AdvanceNs(ms * 1'000'000); }
  // Total time slept through this clock, for "simulated N s" reports.
  std::int64_t ElapsedNs();

 private:
  std::mutex mutex_;
  std::int64_t nowNs_ = 0;
  std::time_t wallStart_;
};

// Real time stretched or squeezed: waits last (requested / scale) real time,
// and readings advance `scale` times faster than the machine's clock.
class ScaledClock : public Clock {
 public:
  explicit ScaledClock(double scale);
  std::int64_t NowNs() override;
  void SleepUntilNs(std::int64_t deadlineNs) override;
  std::time_t WallTime() override;
  void LocalTime(SYSTEMTIME* out) override;
  std::int64_t RealNs(std::int64_t clockNs) const override;

 private:
  double scale_;
  std::int64_t realStartNs_;
  std::time_t wallStart_;
};

// The process-wide clock; RealClock unless a host or test installs another.
Clock& GetClock();
// Installs `clock` (not owned; nullptr restores the real clock). Returns the previous one.
Clock* SetClock(Clock* clock);

// Installs a clock for the lifetime of a scope (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) : previous_(SetClock(&clock)) {}
  ~ScopedClock() { SetClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace afx

// Win32-shaped entry points over the process-wide clock.
void Sleep(DWORD ms);
DWORD GetTickCount();
BOOL QueryPerformanceCounter(std::int64_t* count);
BOOL QueryPerformanceFrequency(std::int64_t* frequency);
void GetLocalTime(SYSTEMTIME* out);
// The whole-second wall clock, like time(); all packet time-outs use it.
std::time_t AfxTime(std::time_t* out = nullptr);
