#include "host/InterruptWatcher.h"

#include <pthread.h>
#include <unistd.h>

InterruptWatcher::InterruptWatcher(afx::Event& cancel)
    : InterruptWatcher([&cancel](int count) {
        if (count > 1) ::_exit(130);
        cancel.Set();
        const char msg[] = "\nCancelling... (Ctrl-C again aborts)\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
      }) {}

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt) : onInterrupt_(std::move(onInterrupt)) {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set_, &old_);
  thread_ = std::thread([this] {
    int count = 0;
    for (;;) {
      int sig = 0;
      if (sigwait(&set_, &sig) != 0) continue;
      if (sig != SIGINT) continue;
      if (stop_) return;
      onInterrupt_(++count);
    }
  });
}

InterruptWatcher::~InterruptWatcher() {
  stop_ = true;
  pthread_kill(thread_.native_handle(), SIGINT);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}
