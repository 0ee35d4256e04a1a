// Holds Ctrl-C back for a scope that must not be cut short (it puts back
// what it changed in the registry); a Ctrl-C pressed meanwhile takes effect
// when the scope ends.
#pragma once
#include <signal.h>

class DeferredInterrupt {
 public:
  DeferredInterrupt();
  ~DeferredInterrupt();
  DeferredInterrupt(const DeferredInterrupt&) = delete;
  DeferredInterrupt& operator=(const DeferredInterrupt&) = delete;

 private:
  sigset_t old_{};
};
