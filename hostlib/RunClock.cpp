#include "hostlib/RunClock.h"

#include "afx/Window.h"

void RunClock::SetLimit(double seconds, afx::Event* cancel) {
  cancel_ = cancel;
  deadlineNs_ = seconds > 0 ? inner_.NowNs() + static_cast<std::int64_t>(seconds * 1e9) : INT64_MAX;
}

void RunClock::Check(std::int64_t nowNs) {
  if (nowNs < deadlineNs_ || timedOut_) return;
  afx::Event* cancel = cancel_;
  if (!cancel) return;
  timedOut_ = true;
  cancel->Set();
}

std::int64_t RunClock::NowNs() {
  const std::int64_t now = inner_.NowNs();
  Check(now);
  return now;
}

void RunClock::SleepUntilNs(std::int64_t deadlineNs) {
  inner_.SleepUntilNs(deadlineNs);
  Check(inner_.NowNs());
}
