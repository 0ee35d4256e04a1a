#include "host/DeferredInterrupt.h"

#include <atomic>

namespace {
std::atomic<bool> g_interrupted{false};

void Note(int) { g_interrupted = true; }
}  // namespace

DeferredInterrupt::DeferredInterrupt() {
  g_interrupted = false;
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a read waiting for the person returns
  sigaction(SIGINT, &action, &old_);
}

DeferredInterrupt::~DeferredInterrupt() {
  sigaction(SIGINT, &old_, nullptr);
  if (g_interrupted) raise(SIGINT);
}
