// The plug-in's resources and a recording UI for tests: string-table texts
// load as they do in the library, and message boxes are kept for checking.
#pragma once
#include <string>
#include <vector>

#include "afx/Module.h"
#include "afx/Ui.h"
#include "res/Resources.h"
#include "support/ScriptedUi.h"

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

// A ScriptedUi installed for the life of the object.
class RecordingUi : public ScriptedUi {
 public:
  RecordingUi() : scope_(*this) {}

 private:
  ScopedUi scope_;
};

}  // namespace test
