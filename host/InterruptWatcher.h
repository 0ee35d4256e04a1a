// Ctrl-C while an operation runs: the first asks it to stop through its
// cancel event, the second ends the program with status 130. Or, for a run
// on several receivers, each Ctrl-C is handed to `onInterrupt` with its count.
// Made before any other thread, so that Ctrl-C reaches only its own.
#pragma once
#include <functional>

#include "afx/Interrupts.h"
#include "afx/Window.h"

class InterruptWatcher {
 public:
  explicit InterruptWatcher(afx::Event& cancel);
  explicit InterruptWatcher(std::function<void(int count)> onInterrupt);
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  afx::InterruptWatch watch_;
};
