#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "afx/Interrupts.h"

namespace afx {

// SIGINT is blocked for the process and taken by a thread that waits for it.
struct InterruptWatch::State {
  std::function<void(int)> onInterrupt;
  sigset_t set{};
  sigset_t old{};
  std::atomic<bool> stop{false};
  std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void(int count)> onInterrupt) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.onInterrupt = std::move(onInterrupt);
  sigemptyset(&s.set);
  sigaddset(&s.set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &s.set, &s.old);
  s.thread = std::thread([&s] {
    int count = 0;
    for (;;) {
      int sig = 0;
      if (sigwait(&s.set, &sig) != 0) continue;
      if (sig != SIGINT) continue;
      if (s.stop) return;
      s.onInterrupt(++count);
    }
  });
}

InterruptWatch::~InterruptWatch() {
  State& s = *state_;
  s.stop = true;
  pthread_kill(s.thread.native_handle(), SIGINT);
  s.thread.join();
  pthread_sigmask(SIG_SETMASK, &s.old, nullptr);
}

namespace {
std::atomic<bool> g_held{false};

void Note(int) { g_held = true; }
}  // namespace

struct InterruptHold::State {
  struct sigaction old {};
};

InterruptHold::InterruptHold() : state_(std::make_unique<State>()) {
  g_held = false;
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a read waiting for the person returns
  sigaction(SIGINT, &action, &state_->old);
}

InterruptHold::~InterruptHold() {
  sigaction(SIGINT, &state_->old, nullptr);
  if (g_held) raise(SIGINT);
}

}  // namespace afx
