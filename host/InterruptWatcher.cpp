#include "host/InterruptWatcher.h"

#include <pthread.h>
#include <unistd.h>

InterruptWatcher::InterruptWatcher(afx::Event& cancel) : cancel_(cancel) {
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
      if (++count == 1) {
        cancel_.Set();
        const char msg[] = "\nCancelling... (Ctrl-C again aborts)\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
      } else {
        ::_exit(130);
      }
    }
  });
}

InterruptWatcher::~InterruptWatcher() {
  stop_ = true;
  pthread_kill(thread_.native_handle(), SIGINT);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}
