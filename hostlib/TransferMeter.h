// The rate and the time left of a transfer, beside its percentage: bytes
// per second that crossed the line over the last few seconds, and the time
// the rest of the bar takes at the pace it has kept since it last started
// to grow. Times are on the run's clock, so a simulated run tells the
// receiver's time.
#pragma once
#include <cstdint>
#include <deque>
#include <utility>

struct TransferRate {
  double bytesPerSecond = -1;  // negative: not known (nothing crossing, or too early to tell)
  double secondsLeft = -1;     // negative: not known
};

class TransferMeter {
 public:
  // The bar stands at `percent` at `nowNs`, with `bytes` crossed the line so far.
  TransferRate Update(int percent, std::int64_t nowNs, std::uint64_t bytes);

  static constexpr std::int64_t kWindowNs = 5'000'000'000;  // the rate's span
  static constexpr std::int64_t kSettleNs = 1'000'000'000;  // no estimate before this much of a phase
  static constexpr std::uint64_t kMinBytes = 256;           // less than this in the window is no transfer

 private:
  std::deque<std::pair<std::int64_t, std::uint64_t>> samples_;  // time, bytes
  bool growing_ = false;
  int startPercent_ = 0;
  std::int64_t startNs_ = 0;
  int lastPercent_ = -1;
};
