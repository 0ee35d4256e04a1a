#include "operations/ErrorDetailDlg.h"

#include "afx/Format.h"

CErrorDetailDlg::CErrorDetailDlg(const CErrorLogEntry& entry, CWnd* parent) : CDialog(IDD, parent), m_text(entry) {}

bool CErrorDetailDlg::IsSpecialNumber(DWORD number) {
  return (number >= 0x70080000 && number <= 0x7008FFFF) || (number >= 0x70090000 && number <= 0x7009FFFF);
}

void CErrorDetailDlg::AddRow(const char* subject, const CString& value) {
  CWnd* list = GetDlgItem(IDC_LIST);
  const int row = list->InsertItem(list->GetItemCount(), subject);
  list->SetItemText(row, 1, value.c_str());
}

BOOL CErrorDetailDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWnd* list = GetDlgItem(IDC_LIST);
  list->InsertColumn(0, "Subject", 0, 110);
  list->InsertColumn(1, "Information", 0, 270);

  const CErrorLogEntry& e = m_text.m_entry;
  const bool special = IsSpecialNumber(e.m_nNumber);
  AddRow("Error Number", m_text.m_strNumber);
  AddRow("Time and Date (UTC)", m_text.m_strTime);
  AddRow("Up time", m_text.m_strUpTime);
  AddRow("ID", m_text.m_strID);
  AddRow("VPC", m_text.m_strVPC);
  AddRow(special ? AfxLoadString(221).c_str() : "PC", m_text.m_strPC);
  AddRow(special ? AfxLoadString(222).c_str() : "Data Address", m_text.m_strDA);
  AddRow("RR1", m_text.m_strRR1);
  AddRow("RR2", m_text.m_strRR2);
  if (e.IsLong()) {
    AddRow("Stack Pointer", FormatString(201, e.m_nStackPointer));
    const int traces = e.GetTraceLength();
    for (int i = 0; i < traces; ++i) AddRow(FormatText("Trace %d", i).c_str(), FormatString(201, e.m_trace[i]));
    const int shown = e.GetUserDataShown();
    for (int i = 0; i < shown; ++i) AddRow(FormatText("Offset %d", i).c_str(), FormatString(201, e.m_userData[i]));
  }
  SetDlgItemText(IDC_VERSION, m_text.m_strVersion.c_str());
  SetDlgItemText(IDC_DATE, m_text.m_strDate.c_str());
  return TRUE;
}

BOOL CErrorDetailDlg::OnCommand(UINT id, UINT code) {
  if (id == IDC_COPY && code == BN_CLICKED) {
    OnCopy();
    return TRUE;
  }
  return CDialog::OnCommand(id, code);
}

void CErrorDetailDlg::OnCopy() { CErrorEntryText::CopyToClipboard(m_text.GetBlock()); }
