#include "host/InterruptWatcher.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

InterruptWatcher::InterruptWatcher(afx::Event& cancel)
    : InterruptWatcher([&cancel](int count) {
        if (count > 1) std::_Exit(130);
        cancel.Set();
        std::fputs("\nCancelling... (Ctrl-C again aborts)\n", stderr);
      }) {}

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt) : watch_(std::move(onInterrupt)) {}
