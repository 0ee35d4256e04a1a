// The application object of a library: initialised when the library is
// attached, torn down when it is detached.
#pragma once
#include <string>

#include "afx/Module.h"
#include "afx/WinTypes.h"

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }

  // Profile settings then live under HKEY_CURRENT_USER\Software\<key>\<profile name>.
  void SetRegistryKey(const char* key);
  void SetProfileName(const char* name);

  const char* m_pszAppName = nullptr;
  const char* m_pszRegistryKey = nullptr;
  const char* m_pszProfileName = nullptr;
  const void* m_hInstance = nullptr;

 private:
  std::string registryKey_;
  std::string profileName_;
};

CWinApp* AfxGetApp();

namespace afx {
// Runs the library's start-up in its own module state: records the app in
// `state`, calls InitInstance, and on failure ExitInstance. The result is kept
// in `state` for the host to read.
bool AttachApp(CWinApp& app, AFX_MODULE_STATE* state, const void* addressInLibrary);
// Runs ExitInstance in the library's module state.
void DetachApp(CWinApp& app, AFX_MODULE_STATE* state);
}  // namespace afx
