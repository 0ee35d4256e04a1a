// Ctrl-C while an operation runs: the first asks it to stop through its
// cancel event, the second ends the program with status 130.
#pragma once
#include "afx/Interrupts.h"
#include "afx/Window.h"

class InterruptWatcher {
 public:
  explicit InterruptWatcher(afx::Event& cancel);
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  afx::Event& cancel_;
  afx::InterruptWatch watch_;
};
