// Holds Ctrl-C back for a scope that must not be cut short (it puts back
// what it changed in the registry). A Ctrl-C meanwhile ends a prompt that
// waits for input, as the end of the input does, and takes effect when the
// scope ends.
#pragma once
#include "afx/Interrupts.h"

class DeferredInterrupt {
 public:
  // Ends the program as Ctrl-C does, when the scope ends, if one came meanwhile.
  DeferredInterrupt() = default;
  DeferredInterrupt(const DeferredInterrupt&) = delete;
  DeferredInterrupt& operator=(const DeferredInterrupt&) = delete;

 private:
  afx::InterruptHold hold_;
};
