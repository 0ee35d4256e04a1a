#include "operations/LSUploadCloneFilePage.h"

#include <vector>

#include "afx/FileDialog.h"
#include "afx/Module.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"

namespace {

constexpr const char* kPathValue = "UploadCloneFileName";
constexpr const char* kInstallValue = "InstallCloneFile";
constexpr const char* kResetValue = "InstallCloneFile_Reset";
constexpr const char* kIpValue = "InstallCloneFile_IP";
constexpr const char* kWifiValue = "InstallCloneFile_WiFi";

bool ReadString(HKEY key, const char* name, CString& out) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
  std::vector<BYTE> data(size + 1, 0);
  if (RegQueryValueEx(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
  out = reinterpret_cast<const char*>(data.data());
  return true;
}

int ReadFlag(HKEY key, const char* name) {
  CString text;
  return ReadString(key, name, text) && text == "TRUE" ? TRUE : FALSE;
}

void WriteString(HKEY key, const char* name, const CString& value) {
  RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                static_cast<DWORD>(value.size() + 1));
}

void WriteFlag(HKEY key, const char* name, int flag) { WriteString(key, name, flag ? "TRUE" : "FALSE"); }

}  // namespace

CLSUploadCloneFilePage::CLSUploadCloneFilePage() : CPropertyPage(IDD) {}

void CLSUploadCloneFilePage::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_PATH, m_strPath);
  DDX_Check(pDX, IDC_INSTALL, m_bInstall);
  DDX_Check(pDX, IDC_RESET, m_bReset);
  DDX_Check(pDX, IDC_INSTALL_IP, m_bInstallIP);
  DDX_Check(pDX, IDC_INSTALL_WIFI, m_bInstallWiFi);
}

void CLSUploadCloneFilePage::LoadSettings() {
  const CString keyPath = AfxLoadString(1009);
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  CString path;
  m_strPath = ReadString(key, kPathValue, path) ? path : CString();
  m_bInstall = ReadFlag(key, kInstallValue);
  m_bReset = ReadFlag(key, kResetValue);
  m_bInstallIP = ReadFlag(key, kIpValue);
  m_bInstallWiFi = ReadFlag(key, kWifiValue);
  RegCloseKey(key);
}

void CLSUploadCloneFilePage::SaveSettings() const {
  const CString keyPath = AfxLoadString(1009);
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
  WriteString(key, kPathValue, m_strPath);
  WriteFlag(key, kInstallValue, m_bInstall);
  WriteFlag(key, kResetValue, m_bReset);
  WriteFlag(key, kIpValue, m_bInstallIP);
  WriteFlag(key, kWifiValue, m_bInstallWiFi);
  RegCloseKey(key);
}

void CLSUploadCloneFilePage::EnableDependents() {
  const BOOL enable = IsDlgButtonChecked(IDC_INSTALL) == BST_CHECKED ? TRUE : FALSE;
  GetDlgItem(IDC_RESET)->EnableWindow(enable);
  GetDlgItem(IDC_INSTALL_IP)->EnableWindow(enable);
  GetDlgItem(IDC_INSTALL_WIFI)->EnableWindow(enable);
}

BOOL CLSUploadCloneFilePage::OnSetActive() {
  LoadSettings();
  UpdateData(FALSE);
  EnableDependents();
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

BOOL CLSUploadCloneFilePage::OnKillActive() { return UpdateData(TRUE); }

void CLSUploadCloneFilePage::TakeAndStore() {
  GetDlgItemText(IDC_PATH, m_strPath);
  m_bInstall = IsDlgButtonChecked(IDC_INSTALL) == BST_CHECKED;
  m_bReset = IsDlgButtonChecked(IDC_RESET) == BST_CHECKED;
  m_bInstallIP = IsDlgButtonChecked(IDC_INSTALL_IP) == BST_CHECKED;
  m_bInstallWiFi = IsDlgButtonChecked(IDC_INSTALL_WIFI) == BST_CHECKED;
  SaveSettings();
}

LRESULT CLSUploadCloneFilePage::OnWizardNext() {
  TakeAndStore();
  return 0;
}

// The page is the operation's only one, so the wizard finishes here.
BOOL CLSUploadCloneFilePage::OnWizardFinish() {
  TakeAndStore();
  return TRUE;
}

BOOL CLSUploadCloneFilePage::OnCommand(UINT id, UINT code) {
  if (code == BN_CLICKED && id == IDC_INSTALL) {
    OnInstallClicked();
    return TRUE;
  }
  if (code == BN_CLICKED && id == IDC_BROWSE) {
    OnBrowse();
    return TRUE;
  }
  return CPropertyPage::OnCommand(id, code);
}

void CLSUploadCloneFilePage::OnInstallClicked() { EnableDependents(); }

void CLSUploadCloneFilePage::OnBrowse() {
  CString current;
  GetDlgItemText(IDC_PATH, current);
  const CString ext = AfxLoadString(4092);
  const CString filter = AfxLoadString(4091);
  const DWORD flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  CFileDialog chooser(TRUE, ext.c_str(), current.c_str(), flags, filter.c_str(), this);
  INT_PTR result = chooser.DoModal();
  CString chosen;
  if (result == IDOK) {
    chosen = chooser.GetPathName();
  } else if (chooser.GetExtendedError() == FNERR_INVALIDFILENAME) {
    // A remembered path that no longer makes a valid name: start empty instead.
    CFileDialog retry(TRUE, ext.c_str(), "", flags, filter.c_str(), this);
    result = retry.DoModal();
    if (result == IDOK) chosen = retry.GetPathName();
  }
  if (result == IDOK) SetDlgItemText(IDC_PATH, chosen.c_str());
}
