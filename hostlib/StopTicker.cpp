#include "hostlib/StopTicker.h"

StopTicker::StopTicker(RunView& view, afx::Event& cancel, std::function<std::string()> why,
                       std::function<std::string()> status, double giveUpAfter,
                       std::function<void(int, const std::string&)> giveUp) {
  thread_ = std::thread([this, &view, &cancel, why = std::move(why), status = std::move(status), giveUpAfter,
                         giveUp = std::move(giveUp)] {
    int waited = 0;
    // Cross-thread waits run on the machine's clock, also in virtual time.
    while (stop_.Wait(1000) != WAIT_OBJECT_0) {
      if (!cancel.IsSet()) continue;
      const std::string last = status();
      view.Stopping(why(), ++waited, last);
      if (giveUp && giveUpAfter > 0 && waited >= giveUpAfter) {
        giveUp(waited, last);
        return;
      }
    }
  });
}

StopTicker::~StopTicker() {
  stop_.Set();
  thread_.join();
}
