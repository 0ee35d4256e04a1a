// A host window that records what the plug-in reports.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "afx/Window.h"
#include "plugin/Exports.h"

class RecordingWindow : public afx::Window {
 public:
  std::vector<std::string> statuses;
  std::vector<int> progress;
  // Called with each percentage as it arrives (a test may cancel from here).
  std::function<void(int)> onProgress;

  LRESULT OnMessage(UINT message, WPARAM, LPARAM lParam) override {
    if (message == UM_STATUS_TEXT) statuses.emplace_back(reinterpret_cast<const char*>(lParam));
    if (message == UM_PROGRESS) {
      progress.push_back(static_cast<int>(lParam));
      if (onProgress) onProgress(static_cast<int>(lParam));
    }
    return 0;
  }
  std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
  int PostedDone() {
    int n = 0;
    Posted m{};
    while (TakePosted(&m))
      if (m.message == UM_OPERATION_DONE) ++n;
    return n;
  }
};
