#include "afx/WinApp.h"

#include "afx/Exception.h"
#include "afx/Trace.h"

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) {}

void CWinApp::SetRegistryKey(const char* key) {
  registryKey_ = key ? key : "";
  m_pszRegistryKey = registryKey_.c_str();
  if (m_pszAppName && !m_pszProfileName) SetProfileName(m_pszAppName);
}

void CWinApp::SetProfileName(const char* name) {
  profileName_ = name ? name : "";
  m_pszProfileName = profileName_.c_str();
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

namespace afx {

bool AttachApp(CWinApp& app, AFX_MODULE_STATE* state, const void* addressInLibrary) {
  AttachModule(state, addressInLibrary);
  AFX_MANAGE_STATE(state);
  state->m_pCurrentWinApp = &app;
  if (!app.m_pszAppName) app.m_pszAppName = state->m_pszAppName;
  app.m_hInstance = addressInLibrary;
  bool ok = false;
  try {
    ok = app.InitInstance() != FALSE;
  } catch (const CException& e) {
    AfxTrace("InitInstance failed: %s", e.GetMessage().c_str());
    ok = false;
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) {
    try {
      app.ExitInstance();
    } catch (...) {
    }
  }
  state->initialised = ok;
  state->initFailed = !ok;
  return ok;
}

void DetachApp(CWinApp& app, AFX_MODULE_STATE* state) {
  {
    AFX_MANAGE_STATE(state);
    if (state->initialised) {
      try {
        app.ExitInstance();
      } catch (...) {
      }
    }
    state->initialised = false;
  }
  DetachModule(state);
}

}  // namespace afx
