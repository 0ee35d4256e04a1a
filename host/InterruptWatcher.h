// Ctrl-C while an operation runs: the first asks it to stop through its
// cancel event, the second ends the program with status 130.
#pragma once
#include <signal.h>

#include <atomic>
#include <thread>

#include "afx/Window.h"

class InterruptWatcher {
 public:
  explicit InterruptWatcher(afx::Event& cancel);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  afx::Event& cancel_;
  sigset_t set_{};
  sigset_t old_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
