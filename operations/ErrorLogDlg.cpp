#include "operations/ErrorLogDlg.h"

#include "afx/Exception.h"
#include "afx/Format.h"
#include "afx/Ui.h"
#include "operations/ErrorDetailDlg.h"
#include "operations/ErrorEntryText.h"

CErrorLogDlg::CErrorLogDlg(CGarnexInterface* device, CErrorLogMgr& log, bool applicationMode, bool diagnostic,
                           CWnd* parent)
    : CDialog(IDD, parent),
      m_pDevice(device),
      m_log(log),
      m_bApplicationMode(applicationMode),
      m_bDiagnostic(diagnostic) {}

bool CErrorLogDlg::IsShown(const CErrorLogEntry& entry, bool diagnostic) {
  return entry.IsValid() || (diagnostic && entry.IsDeleted());
}

BOOL CErrorLogDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // A log read through the monitor cannot be cleared from here.
  const int show = m_bApplicationMode ? SW_SHOW : SW_HIDE;
  GetDlgItem(IDC_CLEAR)->ShowWindow(show);
  GetDlgItem(IDC_CLEAR_TEXT)->ShowWindow(show);

  CWnd* list = GetDlgItem(IDC_LIST);
  for (int i = 0; i < m_log.GetCount(); ++i) {
    CErrorLogEntry* entry = m_log.GetAt(i);
    if (!IsShown(*entry, m_bDiagnostic)) continue;
    CString line = entry->GetSummary();
    if (entry->IsDeleted()) line += AfxLoadString(116);
    const int row = list->AddString(line.c_str());
    if (row < 0) AfxThrowMemoryException();
    list->SetItemData(row, reinterpret_cast<UINT_PTR>(entry));
  }
  return TRUE;
}

BOOL CErrorLogDlg::OnCommand(UINT id, UINT code) {
  if (id == IDC_CLEAR && code == BN_CLICKED) {
    OnClear();
    return TRUE;
  }
  if (id == IDC_COPY_ALL && code == BN_CLICKED) {
    OnCopyAll();
    return TRUE;
  }
  if (id == IDC_LIST && code == LBN_DBLCLK) {
    OnOpenDetails();
    return TRUE;
  }
  return CDialog::OnCommand(id, code);
}

void CErrorLogDlg::OnClear() {
  const CString question = AfxLoadString(260);
  const CString caption = AfxLoadString(25);
  if (MessageBox(question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
  if (m_pDevice) CErrorLogMgr::ClearOnReceiver(*m_pDevice);
  // The entries stay with the manager, so Copy All still has them.
  GetDlgItem(IDC_LIST)->ResetContent();
}

void CErrorLogDlg::OnCopyAll() {
  CString text;
  for (int i = 0; i < m_log.GetCount(); ++i) {
    const CErrorLogEntry* entry = m_log.GetAt(i);
    if (!IsShown(*entry, m_bDiagnostic)) continue;
    text += CErrorEntryText(*entry).GetBlock() + "\r\n";
  }
  CErrorEntryText::CopyToClipboard(text);
}

void CErrorLogDlg::OnOpenDetails() {
  CWnd* list = GetDlgItem(IDC_LIST);
  const int row = list->GetCurSel();
  if (row < 0) return;
  const auto* entry = reinterpret_cast<const CErrorLogEntry*>(list->GetItemData(row));
  if (entry == nullptr) return;
  CErrorDetailDlg details(*entry, this);
  details.DoModal();
}
