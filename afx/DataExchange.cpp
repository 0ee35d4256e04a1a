#include "afx/DataExchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "afx/Exception.h"
#include "afx/Trace.h"
#include "afx/Ui.h"

void CDataExchange::Fail() { throw CUserException(); }

namespace {
afx::Control& ControlFor(CDataExchange* pDX, int id) {
  pDX->m_idLastControl = id;
  afx::Control* c = afx::FindControl(pDX->m_controls, id);
  if (!c) {
    // A binding without a control in the template is a resource mistake;
    // keep the dialog usable and say so.
    AfxTrace("DDX: template %u has no control %d", pDX->m_templateId, id);
    pDX->m_controls.push_back(afx::Control{});
    pDX->m_controls.back().id = id;
    c = &pDX->m_controls.back();
  }
  return *c;
}

template <typename T>
void TextNumber(CDataExchange* pDX, int id, T& value, bool isSigned) {
  afx::Control& c = ControlFor(pDX, id);
  if (!pDX->m_bSaveAndValidate) {
    c.text = std::to_string(value);
    return;
  }
  const std::string t = CString(c.text).Trim();
  char* end = nullptr;
  errno = 0;
  const long long v = isSigned ? std::strtoll(t.c_str(), &end, 10)
                               : static_cast<long long>(std::strtoull(t.c_str(), &end, 10));
  if (t.empty() || *end != '\0' || errno == ERANGE || (!isSigned && t[0] == '-')) {
    AfxMessageBox(isSigned ? "Please enter an integer." : "Please enter a positive integer.", MB_ICONEXCLAMATION);
    pDX->Fail();
  }
  value = static_cast<T>(v);
}
}  // namespace

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  afx::Control& c = ControlFor(pDX, id);
  if (pDX->m_bSaveAndValidate) value = c.text;
  else c.text = value;
}
void DDX_Text(CDataExchange* pDX, int id, int& value) { TextNumber(pDX, id, value, true); }
void DDX_Text(CDataExchange* pDX, int id, UINT& value) { TextNumber(pDX, id, value, false); }
void DDX_Text(CDataExchange* pDX, int id, long& value) { TextNumber(pDX, id, value, true); }
void DDX_Text(CDataExchange* pDX, int id, unsigned long& value) { TextNumber(pDX, id, value, false); }

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  afx::Control& c = ControlFor(pDX, id);
  if (pDX->m_bSaveAndValidate) value = c.check;
  else c.check = value;
}

void DDX_Radio(CDataExchange* pDX, int firstId, int& value) {
  // The group is the run of radio controls that starts at firstId in template order.
  auto& controls = pDX->m_controls;
  auto it = std::find_if(controls.begin(), controls.end(), [&](const afx::Control& c) { return c.id == firstId; });
  pDX->m_idLastControl = firstId;
  if (pDX->m_bSaveAndValidate) value = -1;
  for (int index = 0; it != controls.end() && it->kind == "radio"; ++it, ++index) {
    if (pDX->m_bSaveAndValidate) {
      if (it->check) value = index;
    } else {
      it->check = (index == value) ? 1 : 0;
    }
  }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
  afx::Control& c = ControlFor(pDX, id);
  if (pDX->m_bSaveAndValidate) index = c.selection;
  else c.selection = (index >= 0 && static_cast<size_t>(index) < c.items.size()) ? index : -1;
}

void DDX_CBString(CDataExchange* pDX, int id, CString& value) {
  afx::Control& c = ControlFor(pDX, id);
  if (pDX->m_bSaveAndValidate) {
    value = (c.selection >= 0 && static_cast<size_t>(c.selection) < c.items.size()) ? c.items[static_cast<size_t>(c.selection)] : c.text;
  } else {
    c.text = value;
    c.selection = -1;
    for (size_t i = 0; i < c.items.size(); ++i)
      if (CString(c.items[i]).CompareNoCase(value) == 0) c.selection = static_cast<int>(i);
  }
}

void DDX_LBIndex(CDataExchange* pDX, int id, int& index) { DDX_CBIndex(pDX, id, index); }

void DDX_LBString(CDataExchange* pDX, int id, CString& value) {
  afx::Control& c = ControlFor(pDX, id);
  if (pDX->m_bSaveAndValidate) {
    value = (c.selection >= 0 && static_cast<size_t>(c.selection) < c.items.size()) ? c.items[static_cast<size_t>(c.selection)] : "";
  } else {
    c.selection = -1;
    for (size_t i = 0; i < c.items.size(); ++i)
      if (CString(c.items[i]).CompareNoCase(value) == 0) c.selection = static_cast<int>(i);
  }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  ControlFor(pDX, id);
  if (!control.IsAttached()) control.Attach(&pDX->m_controls, id);
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars) {
  if (!pDX->m_bSaveAndValidate) {
    if (auto* c = afx::FindControl(pDX->m_controls, pDX->m_idLastControl)) c->limitText = maxChars;
    return;
  }
  if (value.GetLength() > maxChars) {
    CString text;
    text.Format("Enter no more than %d characters.", maxChars);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

namespace {
template <typename T>
void CheckRange(CDataExchange* pDX, T value, T minValue, T maxValue) {
  if (!pDX->m_bSaveAndValidate || (value >= minValue && value <= maxValue)) return;
  const std::string text =
      "Please enter an integer between " + std::to_string(minValue) + " and " + std::to_string(maxValue) + ".";
  AfxMessageBox(text.c_str(), MB_ICONEXCLAMATION);
  pDX->Fail();
}
}  // namespace

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue) {
  CheckRange(pDX, value, minValue, maxValue);
}

void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minValue, UINT maxValue) {
  CheckRange(pDX, value, minValue, maxValue);
}
