#include "hostlib/TransferMeter.h"

TransferRate TransferMeter::Update(int percent, std::int64_t nowNs, std::uint64_t bytes) {
  TransferRate rate;
  samples_.emplace_back(nowNs, bytes);
  // The oldest sample kept is the last one from before the window, so that
  // sparse reports still span it.
  while (samples_.size() > 2 && samples_[1].first <= nowNs - kWindowNs) samples_.pop_front();
  const std::int64_t spanNs = nowNs - samples_.front().first;
  const std::uint64_t crossed = bytes - samples_.front().second;
  // A full bar has nothing left to transfer.
  if (spanNs >= kSettleNs && crossed >= kMinBytes && percent < 100) rate.bytesPerSecond = static_cast<double>(crossed) * 1e9 / spanNs;

  // The pace is taken from the first step the bar makes after it started
  // or fell back (a new phase): the time it stood still before says nothing.
  if (percent < lastPercent_) growing_ = false;
  if (!growing_ && lastPercent_ >= 0 && percent > lastPercent_) {
    growing_ = true;
    startPercent_ = percent;
    startNs_ = nowNs;
  }
  lastPercent_ = percent;
  if (!growing_) return rate;
  const int gained = percent - startPercent_;
  const std::int64_t takenNs = nowNs - startNs_;
  if (gained > 0 && takenNs >= kSettleNs && percent < 100)
    rate.secondsLeft = static_cast<double>(takenNs) / 1e9 / gained * (100 - percent);
  return rate;
}
