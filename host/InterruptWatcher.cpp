#include "host/InterruptWatcher.h"

#include <cstdio>
#include <cstdlib>

InterruptWatcher::InterruptWatcher(afx::Event& cancel)
    : cancel_(cancel), watch_([this](int count) {
        if (count == 1) {
          cancel_.Set();
          std::fputs("\nCancelling... (Ctrl-C again aborts)\n", stderr);
        } else {
          std::_Exit(130);
        }
      }) {}
