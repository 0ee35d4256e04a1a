#include "hostlib/HostWindow.h"

#include "plugin/Exports.h"

LRESULT HostWindow::OnMessage(UINT message, WPARAM, LPARAM lParam) {
  if (message == UM_STATUS_TEXT) {
    const char* text = reinterpret_cast<const char*>(lParam);
    lastStatus_ = text ? text : "";
    view_.Status(lastStatus_);
  } else if (message == UM_PROGRESS) {
    view_.Progress(static_cast<int>(lParam));
  }
  return 0;
}

void HostWindow::OnTextChanged(const std::string& text) { view_.Caption(text); }

bool HostWindow::TakeDone() {
  bool done = false;
  Posted m{};
  while (TakePosted(&m))
    if (m.message == UM_OPERATION_DONE) done = true;
  return done;
}
