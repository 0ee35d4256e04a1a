#include "afx/SerialReadTimer.h"

#include <algorithm>

namespace afx {

namespace {
constexpr std::int64_t kNsPerMs = 1'000'000;
}

SerialReadTimer::SerialReadTimer(const COMMTIMEOUTS& t, DWORD count, std::int64_t startNs)
    : count_(count), lastByteNs_(startNs) {
  const bool intervalMax = t.ReadIntervalTimeout == MAXDWORD;
  if (intervalMax && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
    rule_ = Rule::AtOnce;
  } else if (intervalMax && t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != MAXDWORD) {
    rule_ = Rule::FirstByte;
    totalDeadlineNs_ = startNs + static_cast<std::int64_t>(t.ReadTotalTimeoutConstant) * kNsPerMs;
  } else {
    rule_ = Rule::Totals;
    const std::int64_t totalMs =
        static_cast<std::int64_t>(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
    if (totalMs > 0) totalDeadlineNs_ = startNs + totalMs * kNsPerMs;
    if (t.ReadIntervalTimeout != 0 && !intervalMax) intervalNs_ = static_cast<std::int64_t>(t.ReadIntervalTimeout) * kNsPerMs;
  }
}

bool SerialReadTimer::Complete(DWORD got, std::int64_t nowNs) const {
  if (got >= count_ || rule_ == Rule::AtOnce) return true;
  if (rule_ == Rule::FirstByte && got > 0) return true;
  return nowNs >= Deadline(got);
}

std::int64_t SerialReadTimer::Deadline(DWORD got) const {
  std::int64_t deadline = totalDeadlineNs_;
  if (rule_ == Rule::Totals && intervalNs_ > 0 && got > 0) deadline = std::min(deadline, lastByteNs_ + intervalNs_);
  return deadline;
}

}  // namespace afx
