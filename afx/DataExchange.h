// Data exchange between a dialog's members and its controls (DDX_) and the
// checks on what the user entered (DDV_).
#pragma once
#include "afx/String.h"
#include "afx/WinTypes.h"
#include "afx/Wnd.h"

// Moves data between a dialog's members and its controls: `controls`, built
// from template `templateId`.
class CDataExchange {
 public:
  CDataExchange(afx::ControlList& controls, UINT templateId, BOOL saveAndValidate)
      : m_controls(controls), m_templateId(templateId), m_bSaveAndValidate(saveAndValidate) {}
  // Ends validation: the caller's UpdateData returns FALSE.
  [[noreturn]] void Fail();
  afx::ControlList& m_controls;
  UINT m_templateId;
  BOOL m_bSaveAndValidate;
  int m_idLastControl = 0;
};

void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, UINT& value);
void DDX_Text(CDataExchange* pDX, int id, long& value);
void DDX_Text(CDataExchange* pDX, int id, unsigned long& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Radio(CDataExchange* pDX, int firstId, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
void DDX_CBString(CDataExchange* pDX, int id, CString& value);
void DDX_LBIndex(CDataExchange* pDX, int id, int& index);
void DDX_LBString(CDataExchange* pDX, int id, CString& value);
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue);
void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minValue, UINT maxValue);
