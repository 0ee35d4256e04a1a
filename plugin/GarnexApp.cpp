#include "plugin/GarnexApp.h"

#include <new>

#include "afx/Exception.h"
#include "afx/File.h"
#include "afx/Registry.h"
#include "afx/Trace.h"
#include "afx/Ui.h"
#include "operations/CellurModemCfgOperation.h"
#include "operations/MDSRadioUpdateOperation.h"
#include "operations/RadioCfgOperation.h"
#include "operations/ResetToFactoryDefaultOperation.h"
#include "operations/RetrieveErrorLogOperation.h"
#include "operations/RetrieveVersionOperation.h"
#include "operations/TCPSetupOperation.h"
#include "operations/UpdateOperation.h"
#include "operations/UploadCloneFileOperation.h"
#include "operations/WipeCMBlockOperation.h"
#include "res/Resources.h"

namespace {
constexpr char kHostKey[] = "SOFTWARE\\Korvane\\Talvern";

std::vector<std::unique_ptr<COperation>> g_operations;
}  // namespace

AFX_MODULE_STATE* AfxGetStaticModuleState() {
  static AFX_MODULE_STATE* state = [] {
    static AFX_MODULE_STATE s;
    res::Install(&s);
    return &s;
  }();
  return state;
}

std::vector<std::unique_ptr<COperation>>& OperationList() { return g_operations; }

COperation* GetOperationAt(int index) {
  if (index < 0 || static_cast<size_t>(index) >= g_operations.size()) return nullptr;
  return g_operations[static_cast<size_t>(index)].get();
}

CGarnexApp::CGarnexApp() : CWinApp(nullptr) {}

BOOL CGarnexApp::InitInstance() {
  try {
    SetRegistryKey("KORVANE\\Talvern");
    SetProfileName("LSDevice");

    CString version;
    if (AfxQueryVersionString(AfxGetModuleState(), "FileVersion", &version)) m_strVersion = version;

    RetrievePaths();
    if (!BuildOperationList()) return FALSE;
  } catch (const CMemoryException&) {
    return FALSE;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  return CWinApp::InitInstance();
}

int CGarnexApp::ExitInstance() {
  FreeOperationList();
  return CWinApp::ExitInstance();
}

void CGarnexApp::RetrievePaths() {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  char value[1024];
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  const LONG rc = RegQueryValueEx(key, "InstallDirectory", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return;
  value[size < sizeof value ? size : sizeof value - 1] = '\0';
  m_strInstallDir = value;
  m_strDevicesDir = CFile::JoinPath(m_strInstallDir.c_str(), "Devices");
  m_strFirmwareDir = CFile::JoinPath(m_strInstallDir.c_str(), "Firmware");
}

bool CGarnexApp::BuildOperationList() {
  g_operations.clear();
  try {
    g_operations.push_back(std::make_unique<CTCPSetupOperation>());
    g_operations.push_back(std::make_unique<CRadioCfgOperation>());
    g_operations.push_back(std::make_unique<CCellurModemCfgOperation>());
    g_operations.push_back(std::make_unique<CUpdateOperation>());
    g_operations.push_back(std::make_unique<CMDSRadioUpdateOperation>());
    g_operations.push_back(std::make_unique<CResetToFactoryDefaultOperation>());
    g_operations.push_back(std::make_unique<CUploadCloneFileOperation>());
    g_operations.push_back(std::make_unique<CRetrieveVersionOperation>());
    g_operations.push_back(std::make_unique<CRetrieveErrorLogOperation>());
    // The service entry exists only for someone who holds Ctrl and Alt while
    // the host loads the plug-in.
    if (GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) < 0)
      g_operations.push_back(std::make_unique<CWipeCMBlockOperation>());
  } catch (const std::bad_alloc&) {
    g_operations.clear();
    return false;
  } catch (const CMemoryException&) {
    g_operations.clear();
    return false;
  }
  return true;
}

void CGarnexApp::FreeOperationList() { g_operations.clear(); }

// The one application object, attached when the library is loaded.
namespace {
CGarnexApp theApp;

struct LibraryAttachment {
  LibraryAttachment() {
    afx::AttachApp(theApp, AfxGetStaticModuleState(), reinterpret_cast<const void*>(&AfxGetStaticModuleState));
  }
  ~LibraryAttachment() { afx::DetachApp(theApp, AfxGetStaticModuleState()); }
  LibraryAttachment(const LibraryAttachment&) = delete;
  LibraryAttachment& operator=(const LibraryAttachment&) = delete;
};
LibraryAttachment g_attachment;
}  // namespace

CGarnexApp& GetGarnexApp() { return theApp; }
