#include "hostlib/HostWindow.h"

#include "afx/Clock.h"
#include "plugin/Exports.h"

LRESULT HostWindow::OnMessage(UINT message, WPARAM, LPARAM lParam) {
  if (message == UM_STATUS_TEXT) {
    const char* text = reinterpret_cast<const char*>(lParam);
    std::string status = text ? text : "";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastStatus_ = status;
    }
    view_.Status(status);
  } else if (message == UM_PROGRESS) {
    const int percent = static_cast<int>(lParam);
    const std::uint64_t bytes = bytes_ ? bytes_() : 0;
    view_.ProgressWithRate(percent, meter_.Update(percent, afx::GetClock().NowNs(), bytes));
  }
  return 0;
}

std::string HostWindow::LastStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastStatus_;
}

void HostWindow::OnTextChanged(const std::string& text) { view_.Caption(text); }

bool HostWindow::TakeDone() {
  bool done = false;
  Posted m{};
  while (TakePosted(&m))
    if (m.message == UM_OPERATION_DONE) done = true;
  return done;
}
