// The plug-in's application object: version, install paths and the
// operation list, built when the library is attached and freed when it is
// detached.
#pragma once
#include <memory>
#include <vector>

#include "afx/WinApp.h"
#include "plugin/Operation.h"

class CGarnexApp : public CWinApp {
 public:
  CGarnexApp();
  BOOL InitInstance() override;
  int ExitInstance() override;

  const CString& Version() const { return m_strVersion; }
  const CString& InstallDirectory() const { return m_strInstallDir; }
  const CString& FirmwareDirectory() const { return m_strFirmwareDir; }
  const CString& DevicesDirectory() const { return m_strDevicesDir; }

  // Reads InstallDirectory of the host key; leaves the paths empty when it cannot.
  void RetrievePaths();
  // Creates the operations in their fixed order; the service entry only while
  // Ctrl and Alt are held. False when memory ran out (the list is then empty).
  bool BuildOperationList();
  void FreeOperationList();

 private:
  CString m_strVersion;
  CString m_strInstallDir;
  CString m_strFirmwareDir;
  CString m_strDevicesDir;
};

CGarnexApp& GetGarnexApp();

// The operation list; an operation's index is its identity towards the host.
std::vector<std::unique_ptr<COperation>>& OperationList();
// The operation at `index`, or nullptr when the index is invalid.
COperation* GetOperationAt(int index);

// The plug-in's own module state (resources, app name).
AFX_MODULE_STATE* AfxGetStaticModuleState();
