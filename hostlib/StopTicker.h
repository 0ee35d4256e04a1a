// While an operation runs: once it has been asked to stop, tells the front
// end every second that the host is waiting for it to reach a point where
// it can, with the last status, so that a run that takes a while to stop
// does not look hung; and once it has waited `giveUpAfter` seconds (0: never),
// gives the run up. A receiver that falls silent during a step with no
// point to stop at (its install) would otherwise hold the run for ever.
#pragma once
#include <functional>
#include <string>
#include <thread>

#include "afx/Window.h"
#include "hostlib/RunView.h"

class StopTicker {
 public:
  // `why`, `status` and `giveUp` (with the seconds waited and the last status)
  // are called on the ticker's thread; after `giveUp` it ticks no more.
  StopTicker(RunView& view, afx::Event& cancel, std::function<std::string()> why, std::function<std::string()> status,
             double giveUpAfter = 0, std::function<void(int, const std::string&)> giveUp = nullptr);
  // Stops the ticker (the operation has ended).
  ~StopTicker();
  StopTicker(const StopTicker&) = delete;
  StopTicker& operator=(const StopTicker&) = delete;

 private:
  afx::Event stop_{true, false};
  std::thread thread_;
};
