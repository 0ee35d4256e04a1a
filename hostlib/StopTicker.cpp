#include "hostlib/StopTicker.h"

StopTicker::StopTicker(RunView& view, afx::Event& cancel, std::function<std::string()> why,
                       std::function<std::string()> status) {
  thread_ = std::thread([this, &view, &cancel, why = std::move(why), status = std::move(status)] {
    int waited = 0;
    // Cross-thread waits run on the machine's clock, also in virtual time.
    while (stop_.Wait(1000) != WAIT_OBJECT_0) {
      if (!cancel.IsSet()) continue;
      view.Stopping(why(), ++waited, status());
    }
  });
}

StopTicker::~StopTicker() {
  stop_.Set();
  thread_.join();
}
