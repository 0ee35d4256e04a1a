// The plug-in's resources and a recording UI for tests: string-table texts
// load as they do in the library, and message boxes are kept for checking.
#pragma once
#include <string>
#include <vector>

#include "afx/Module.h"
#include "afx/Ui.h"
#include "res/Resources.h"

namespace test {

// Makes the plug-in's string table current on this thread for its lifetime.
class PluginStrings {
 public:
  PluginStrings() : keep_(Prepare(&state_)) {}

 private:
  static AFX_MODULE_STATE* Prepare(AFX_MODULE_STATE* state) {
    res::Install(state);
    state->appName = "DevQZ710";
    state->m_pszAppName = state->appName.c_str();
    return state;
  }
  AFX_MODULE_STATE state_;
  AFX_MAINTAIN_STATE keep_;
};

// Records every message box and answers with a fixed button (default: the box's own default).
class RecordingUi : public afx::UiPresenter {
 public:
  struct Box {
    std::string text;
    std::string caption;
    UINT flags;
  };
  RecordingUi() : previous_(afx::SetUi(this)) {}
  ~RecordingUi() override { afx::SetUi(previous_); }
  RecordingUi(const RecordingUi&) = delete;
  RecordingUi& operator=(const RecordingUi&) = delete;

  int MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) override {
    boxes.push_back(Box{text, caption, flags});
    return answer != 0 ? answer : DefaultButton(flags);
  }

  std::vector<Box> boxes;
  int answer = 0;

 private:
  afx::UiPresenter* previous_;
};

}  // namespace test
