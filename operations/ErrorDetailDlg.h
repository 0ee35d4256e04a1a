// Every field of one error-log entry in a two-column list, with Copy.
#pragma once
#include "afx/Dialog.h"
#include "operations/ErrorEntryText.h"

class CErrorDetailDlg : public CDialog {
 public:
  static constexpr UINT IDD = 139;
  static constexpr int IDC_LIST = 1072;
  static constexpr int IDC_VERSION = 1017;
  static constexpr int IDC_DATE = 1051;
  static constexpr int IDC_COPY = 1001;

  CErrorDetailDlg(const CErrorLogEntry& entry, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  BOOL OnCommand(UINT id, UINT code) override;
  void OnCopy();

  // Numbers in these ranges carry a type and a version where others carry
  // a program counter and a data address.
  static bool IsSpecialNumber(DWORD number);

 private:
  void AddRow(const char* subject, const CString& value);

  CErrorEntryText m_text;
};
