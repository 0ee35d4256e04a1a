// While an operation runs: once it has been asked to stop, tells the front
// end every second that the host is waiting for it to reach a point where
// it can, with the last status, so that a run that takes a while to stop
// does not look hung.
#pragma once
#include <functional>
#include <string>
#include <thread>

#include "afx/Window.h"
#include "hostlib/RunView.h"

class StopTicker {
 public:
  // `why` and `status` are asked on the ticker's thread.
  StopTicker(RunView& view, afx::Event& cancel, std::function<std::string()> why, std::function<std::string()> status);
  // Stops the ticker (the operation has ended).
  ~StopTicker();
  StopTicker(const StopTicker&) = delete;
  StopTicker& operator=(const StopTicker&) = delete;

 private:
  afx::Event stop_{true, false};
  std::thread thread_;
};
