#include "operations/UpdatePage.h"

#include <cerrno>
#include <cstring>

#include "afx/File.h"
#include "afx/Format.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "afx/Ui.h"
#include "device/BreakInfo.h"
#include "device/LSDeviceException.h"
#include "firmware/AddFirmwareDlg.h"
#include "firmware/LSFlashFileException.h"
#include "plugin/GarnexApp.h"
#include "port/SerialInterface.h"

namespace {

constexpr char kHostKey[] = "SOFTWARE\\Korvane\\Talvern";
constexpr UINT kDeviceKeyId = 1009;
constexpr char kTurnOffOutputs[] = "TurnOffOutputs";
constexpr char kMonitorSuffix[] = "-MONITOR";

DWORD ReadLastUsedCom() {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  const LONG rc = RegQueryValueEx(key, "LastUsedCOM", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD ? value : 0;
}

// The file part of `path` after its last folder separator.
CString FileNamePart(const CString& path) {
  const int slash = std::max(path.ReverseFind('\\'), path.ReverseFind('/'));
  return slash < 0 ? path : path.Mid(slash + 1);
}

}  // namespace

CUpdatePage::CUpdatePage(UINT deviceTypeId, UINT filterId)
    : CPropertyPage(IDD),
      m_strRemovePrompt(AfxLoadString(107)),
      m_strRemoveFailure(AfxLoadString(119)),
      m_strAddFailure(AfxLoadString(131)),
      m_strNoSelection(AfxLoadString(118)),
      m_strDeviceType(AfxLoadString(deviceTypeId)),
      m_strFileFilter(AfxLoadString(filterId)),
      m_strCopyFailure(AfxLoadString(732)),
      m_pResourceModule(AfxGetModuleState()) {}

const char* CUpdatePage::GetSelectedDescription() const {
  const FirmwareEntry* entry = m_catalogue.GetAt(m_nSelection);
  return entry ? entry->GetDescription().c_str() : nullptr;
}

const char* CUpdatePage::GetSelectedFirmwarePath() const {
  const FirmwareEntry* entry = m_catalogue.GetAt(m_nSelection);
  return entry ? entry->GetFirmwarePath().c_str() : nullptr;
}

void CUpdatePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST, m_list);
  DDX_LBIndex(pDX, IDC_LIST, m_nSelection);
  DDX_Control(pDX, IDC_HEADING, m_heading);
}

void CUpdatePage::IdentifyReceiver(UINT com) {
  CSerialInterface port;
  try {
    port.Open(com, 1, 0, 0, 6);
    CBreakInfo info;
    info.RetrieveBreakInfo(port, false, true);
    CString name = info.GetProductName();
    const int monitor = name.Find(kMonitorSuffix);
    if (monitor >= 0) name = name.Left(monitor);
    if (name == "NoSuchProduct") name.clear();
    m_strProductName = name;
  } catch (const CLSDeviceException& e) {
    AfxMessageBox(FormatString(1126, static_cast<int>(e.GetCode()), static_cast<int>(com)).c_str(), MB_OK);
    m_strProductName.clear();
  } catch (const CSerialComException& e) {
    AfxMessageBox(FormatString(1125, static_cast<int>(e.GetErrorCode()), static_cast<int>(com)).c_str(), MB_OK);
    m_strProductName.clear();
  }
  port.Close();
}

BOOL CUpdatePage::OnSetActive() {
  AFX_MANAGE_STATE(m_pResourceModule);
  const BOOL result = CPropertyPage::OnSetActive();
  if (result) {
    const DWORD com = ReadLastUsedCom();
    if (com != 0) IdentifyReceiver(com);
    if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    InitializeListBox();
  }
  if (CWnd* box = GetDlgItem(IDC_TURN_OFF_OUTPUTS)) box->ShowWindow(SW_SHOW);
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, AfxLoadString(kDeviceKeyId).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    char value[16] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG rc = RegQueryValueEx(key, kTurnOffOutputs, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    const bool on = rc == ERROR_SUCCESS && type == REG_SZ && std::strcmp(value, "TRUE") == 0;
    CheckDlgButton(IDC_TURN_OFF_OUTPUTS, on ? BST_CHECKED : BST_UNCHECKED);
  }
  UpdateData(FALSE);
  return result;
}

void CUpdatePage::InitializeListBox() {
  m_list.ResetContent();
  m_catalogue.RetrieveFirmwareFiles(m_strDeviceType.c_str(), m_strProductName.c_str());
  bool seen = false;
  std::time_t newest = 0;
  for (int i = 0; i < m_catalogue.GetCount(); ++i) {
    const FirmwareEntry* entry = m_catalogue.GetAt(i);
    CFileStatus status;
    if (!entry || !CFile::GetStatus(entry->GetFirmwarePath().c_str(), status)) continue;
    // Ties go to the later entry: a file registered after another of the same
    // age is the one the user most likely just added.
    if (!seen || status.m_mtime >= newest) {
      m_nSelection = i;
      newest = status.m_mtime;
      seen = true;
    }
    m_list.AddString(entry->GetDescription().c_str());
  }
  CString heading;
  m_heading.GetWindowText(heading);
  if (heading.size() > kHeadingBuffer - 1) heading = heading.Left(kHeadingBuffer - 1);
  if (heading.Find(" - ") < 0 && !m_strProductName.empty()) m_heading.SetWindowText((heading + " - " + m_strProductName).c_str());
  m_list.SetCurSel(m_nSelection);
}

int CUpdatePage::OnVKeyToItem(UINT key, int listId, UINT caretIndex) {
  if (key == kVkDelete) {
    const int selection = m_list.GetCurSel();
    if (selection != LB_ERR) {
      RemoveEntry(selection);
      InitializeListBox();
    }
  } else if (key == kVkInsert) {
    AddEntry();
    InitializeListBox();
  }
  return CPropertyPage::OnVKeyToItem(key, listId, caretIndex);
}

BOOL CUpdatePage::OnCommand(UINT id, UINT code) {
  if (id == static_cast<UINT>(IDC_LIST) && code == LBN_DBLCLK) {
    if (CPropertySheet* sheet = GetParentSheet()) sheet->PressButton(PSBTN_NEXT);
    return TRUE;
  }
  return CPropertyPage::OnCommand(id, code);
}

void CUpdatePage::RemoveEntry(int index) {
  const FirmwareEntry* entry = m_catalogue.GetAt(index);
  if (!entry) return;
  const CString path = entry->GetFirmwarePath();
  const CString keyName = entry->GetKeyName();
  const CString prompt = FormatText(m_strRemovePrompt.c_str(), entry->GetDescription().c_str(), path.c_str());
  if (AfxMessageBox(prompt.c_str(), MB_YESNO) != IDYES) return;
  try {
    CFile::Remove(path.c_str());
  } catch (const CFileException& e) {
    CFileException named(e.m_cause, e.m_lOsError, path.c_str());
    named.ReportError();
  }
  DWORD error = 0;
  if (!m_catalogue.RemoveFirmwareEntry(keyName.c_str(), error))
    AfxMessageBox(m_strRemoveFailure.c_str(), MB_ICONEXCLAMATION);
}

void CUpdatePage::AddEntry() {
  CAddFirmwareDlg dialog(m_strFileFilter.c_str(), this);
  if (dialog.DoModal() != IDOK) return;
  const CString source = dialog.GetPath();
  const CString fileName = FileNamePart(source);
  CGarnexApp& app = GetGarnexApp();
  app.RetrievePaths();
  if (app.FirmwareDirectory().empty()) return;
  const CString destination = CFile::JoinPath(app.FirmwareDirectory().c_str(), fileName.c_str());

  CWaitCursor wait;
  // A file already in the folder, under whatever spelling, is registered where it lies.
  if (!CFile::IsSameFile(source.c_str(), destination.c_str()) &&
      !CopyFile(source.c_str(), destination.c_str(), FALSE)) {
    const long error = errno;
    AfxMessageBox(FormatText(m_strCopyFailure.c_str(), error, source.c_str(), destination.c_str()).c_str(),
                  MB_ICONEXCLAMATION);
    return;
  }
  const FirmwareEntry entry(dialog.GetDescription().c_str(), m_strDeviceType.c_str(), destination.c_str(),
                            dialog.GetDescription().c_str(), dialog.GetSignature().c_str(), 0);
  DWORD error = 0;
  if (!m_catalogue.AddFirmwareEntry(entry, error)) AfxMessageBox(m_strAddFailure.c_str(), MB_ICONEXCLAMATION);
}

LRESULT CUpdatePage::OnWizardNext() {
  AFX_MANAGE_STATE(m_pResourceModule);
  UpdateData(TRUE);
  bool proceed = false;
  if (m_nSelection == -1) {
    AfxMessageBox(m_strNoSelection.c_str(), MB_ICONEXCLAMATION);
  } else {
    const char* path = GetSelectedFirmwarePath();
    CFile file;
    if (path && file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
      file.Close();
      proceed = true;
    } else {
      CLSFlashFileException(853, path ? path : "").ReportError();
    }
  }
  // The choice is kept even when the page stays, so that it is not lost
  // while the user fixes the selection.
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, AfxLoadString(kDeviceKeyId).c_str(), 0, KEY_READ | KEY_WRITE, &key) ==
      ERROR_SUCCESS) {
    const char* value = IsDlgButtonChecked(IDC_TURN_OFF_OUTPUTS) == BST_CHECKED ? "TRUE" : "FALSE";
    RegSetValueEx(key, kTurnOffOutputs, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                  static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
  }
  return proceed ? CPropertyPage::OnWizardNext() : -1;
}
