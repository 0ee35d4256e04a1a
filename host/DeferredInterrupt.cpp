#include "host/DeferredInterrupt.h"

#include <pthread.h>

DeferredInterrupt::DeferredInterrupt() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &old_);
}

// A signal that came meanwhile is delivered as the mask is put back.
DeferredInterrupt::~DeferredInterrupt() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
