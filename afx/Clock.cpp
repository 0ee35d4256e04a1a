#include "afx/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "afx/System.h"
#include "afx/Trace.h"

namespace afx {

namespace {
std::atomic<Clock*> g_clock{nullptr};

RealClock& TheRealClock() {
  static RealClock clock;
  return clock;
}

void FillSystemTime(std::time_t seconds, int millis, SYSTEMTIME* out) {
  std::tm tm{};
  LocalCalendarTime(seconds, &tm);
  out->wYear = static_cast<WORD>(tm.tm_year + 1900);
  out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  out->wDay = static_cast<WORD>(tm.tm_mday);
  out->wHour = static_cast<WORD>(tm.tm_hour);
  out->wMinute = static_cast<WORD>(tm.tm_min);
  out->wSecond = static_cast<WORD>(tm.tm_sec);
  out->wMilliseconds = static_cast<WORD>(millis);
}

std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

std::int64_t RealClock::NowNs() { return SteadyNs(); }

void RealClock::SleepUntilNs(std::int64_t deadlineNs) {
  const std::int64_t now = NowNs();
  if (deadlineNs > now) std::this_thread::sleep_for(std::chrono::nanoseconds(deadlineNs - now));
}

std::time_t RealClock::WallTime() { return std::time(nullptr); }

void RealClock::LocalTime(SYSTEMTIME* out) {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  FillSystemTime(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000), out);
}

VirtualClock::VirtualClock(std::time_t wallStart) : wallStart_(wallStart) {}

std::int64_t VirtualClock::NowNs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return nowNs_;
}

void VirtualClock::SleepUntilNs(std::int64_t deadlineNs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (deadlineNs > nowNs_) nowNs_ = deadlineNs;
}

void VirtualClock::AdvanceNs(std::int64_t ns) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ns > 0) nowNs_ += ns;
}

std::int64_t VirtualClock::ElapsedNs() { return NowNs(); }

std::time_t VirtualClock::WallTime() {
  std::lock_guard<std::mutex> lock(mutex_);
  return wallStart_ + static_cast<std::time_t>(nowNs_ / 1'000'000'000);
}

void VirtualClock::LocalTime(SYSTEMTIME* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  FillSystemTime(wallStart_ + static_cast<std::time_t>(nowNs_ / 1'000'000'000),
                 static_cast<int>((nowNs_ / 1'000'000) % 1000), out);
}

ScaledClock::ScaledClock(double scale)
    : scale_(scale > 0 ? scale : 1.0), realStartNs_(SteadyNs()), wallStart_(std::time(nullptr)) {}

std::int64_t ScaledClock::NowNs() {
  return static_cast<std::int64_t>(static_cast<double>(SteadyNs() - realStartNs_) * scale_);
}

void ScaledClock::SleepUntilNs(std::int64_t deadlineNs) {
  const std::int64_t now = NowNs();
  if (deadlineNs <= now) return;
  std::this_thread::sleep_for(std::chrono::nanoseconds(RealNs(deadlineNs - now)));
}

std::int64_t ScaledClock::RealNs(std::int64_t clockNs) const {
  return static_cast<std::int64_t>(static_cast<double>(clockNs) / scale_);
}

std::time_t ScaledClock::WallTime() { return wallStart_ + static_cast<std::time_t>(NowNs() / 1'000'000'000); }

void ScaledClock::LocalTime(SYSTEMTIME* out) {
  const std::int64_t now = NowNs();
  FillSystemTime(wallStart_ + static_cast<std::time_t>(now / 1'000'000'000),
                 static_cast<int>((now / 1'000'000) % 1000), out);
}

Clock& GetClock() {
  Clock* clock = g_clock.load();
  return clock ? *clock : TheRealClock();
}

Clock* SetClock(Clock* clock) { return g_clock.exchange(clock); }

}  // namespace afx

void Sleep(DWORD ms) {
  // The long waits are steps worth seeing in a trace (a receiver restarting, settling).
  if (ms >= 1000) AfxTrace("wait %.1f s", ms / 1000.0);
  afx::GetClock().SleepMs(ms);
}

DWORD GetTickCount() { return static_cast<DWORD>(afx::GetClock().NowNs() / 1'000'000); }

BOOL QueryPerformanceCounter(std::int64_t* count) {
  if (!count) return FALSE;
  // 100 ns ticks, like the usual Windows counter frequency.
  *count = afx::GetClock().NowNs() / 100;
  return TRUE;
}

BOOL QueryPerformanceFrequency(std::int64_t* frequency) {
  if (!frequency) return FALSE;
  *frequency = 10'000'000;
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* out) {
  if (out) afx::GetClock().LocalTime(out);
}

std::time_t AfxTime(std::time_t* out) {
  const std::time_t now = afx::GetClock().WallTime();
  if (out) *out = now;
  return now;
}
