// The clock of one run: the run's own clock (real, scaled or virtual) with
// the run's time limit. Every wait and reading of time in the run passes
// through it, so the first reading past the limit sets the run's cancel
// event, and the operation stops at its next cancel check exactly as if
// the user had asked, however long it would have waited otherwise.
#pragma once
#include <atomic>
#include <cstdint>

#include "afx/Clock.h"

namespace afx {
class Event;
}

class RunClock : public afx::Clock {
 public:
  explicit RunClock(afx::Clock& inner) : inner_(inner) {}

  // From now on, `seconds` of this clock's time (0: no limit) end the run through `cancel`.
  void SetLimit(double seconds, afx::Event* cancel);
  // Whether the limit was reached.
  bool TimedOut() const { return timedOut_; }

  std::int64_t NowNs() override;
  void SleepUntilNs(std::int64_t deadlineNs) override;
  std::time_t WallTime() override { return inner_.WallTime(); }
  void LocalTime(SYSTEMTIME* out) override { inner_.LocalTime(out); }
  bool IsVirtual() const override { return inner_.IsVirtual(); }

 private:
  void Check(std::int64_t nowNs);

  afx::Clock& inner_;
  std::atomic<std::int64_t> deadlineNs_{INT64_MAX};
  std::atomic<afx::Event*> cancel_{nullptr};
  std::atomic<bool> timedOut_{false};
};
