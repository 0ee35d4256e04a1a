#include "afx/Dialog.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "afx/Exception.h"
#include "afx/Trace.h"
#include "afx/Ui.h"

namespace afx {

bool Control::HasStyle(const char* word) const {
  std::istringstream in(style);
  std::string w;
  while (in >> w)
    if (w == word) return true;
  return false;
}

std::string Control::DisplayValue() const {
  if (kind == "checkbox" || kind == "radio") return check ? "1" : "0";
  if (IsList()) return (selection >= 0 && static_cast<size_t>(selection) < items.size()) ? items[static_cast<size_t>(selection)] : "";
  return text;
}

}  // namespace afx

// ---- CWnd: one control of a dialog model ----

afx::Control* CWnd::Model() const {
  if (!owner_) return nullptr;
  return owner_->FindControl(id_);
}

void CWnd::SetWindowText(const char* text) {
  if (auto* c = Model()) c->text = text ? text : "";
}

void CWnd::GetWindowText(CString& text) const {
  const auto* c = Model();
  text = c ? c->text : "";
}

int CWnd::GetWindowTextLength() const {
  const auto* c = Model();
  return c ? static_cast<int>(c->text.size()) : 0;
}

BOOL CWnd::EnableWindow(BOOL enable) {
  auto* c = Model();
  if (!c) return FALSE;
  const BOOL wasDisabled = !c->enabled;
  c->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  const auto* c = Model();
  return c && c->enabled;
}

BOOL CWnd::ShowWindow(int command) {
  auto* c = Model();
  if (!c) return FALSE;
  const BOOL wasVisible = c->visible;
  c->visible = command != SW_HIDE;
  return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
  const auto* c = Model();
  return c && c->visible;
}

void CWnd::SetCheck(int state) {
  if (auto* c = Model()) c->check = state;
}

int CWnd::GetCheck() const {
  const auto* c = Model();
  return c ? c->check : 0;
}

void CWnd::LimitText(int chars) {
  if (auto* c = Model()) c->limitText = chars;
}

int CWnd::AddString(const char* text) {
  auto* c = Model();
  if (!c) return LB_ERR;
  if (c->HasStyle("sort")) {
    const std::string t = text ? text : "";
    auto it = std::upper_bound(c->items.begin(), c->items.end(), t);
    return InsertString(static_cast<int>(it - c->items.begin()), text);
  }
  return InsertString(-1, text);
}

int CWnd::InsertString(int index, const char* text) {
  auto* c = Model();
  if (!c) return LB_ERR;
  const size_t n = c->items.size();
  const size_t at = (index < 0 || static_cast<size_t>(index) > n) ? n : static_cast<size_t>(index);
  c->items.insert(c->items.begin() + static_cast<long>(at), text ? text : "");
  c->itemData.insert(c->itemData.begin() + static_cast<long>(at), 0);
  c->subItems.insert(c->subItems.begin() + static_cast<long>(at), std::vector<std::string>{});
  if (c->selection >= static_cast<int>(at)) ++c->selection;
  return static_cast<int>(at);
}

int CWnd::DeleteString(UINT index) {
  auto* c = Model();
  if (!c || index >= c->items.size()) return LB_ERR;
  c->items.erase(c->items.begin() + index);
  c->itemData.erase(c->itemData.begin() + index);
  c->subItems.erase(c->subItems.begin() + index);
  if (c->selection == static_cast<int>(index)) c->selection = -1;
  else if (c->selection > static_cast<int>(index)) --c->selection;
  return static_cast<int>(c->items.size());
}

void CWnd::ResetContent() {
  if (auto* c = Model()) {
    c->items.clear();
    c->itemData.clear();
    c->subItems.clear();
    c->selection = -1;
  }
}

int CWnd::GetCount() const {
  const auto* c = Model();
  return c ? static_cast<int>(c->items.size()) : 0;
}

int CWnd::GetCurSel() const {
  const auto* c = Model();
  return c ? c->selection : LB_ERR;
}

int CWnd::SetCurSel(int index) {
  auto* c = Model();
  if (!c) return LB_ERR;
  if (index < 0 || static_cast<size_t>(index) >= c->items.size()) {
    c->selection = -1;
    return LB_ERR;
  }
  c->selection = index;
  return index;
}

int CWnd::GetText(int index, CString& text) const {
  const auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->items.size()) {
    text.clear();
    return LB_ERR;
  }
  text = c->items[static_cast<size_t>(index)];
  return text.GetLength();
}

int CWnd::FindStringExact(int start, const char* text) const {
  const auto* c = Model();
  if (!c) return LB_ERR;
  const std::string t = text ? text : "";
  const size_t n = c->items.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (static_cast<size_t>(start + 1) + k) % n;
    if (CString(c->items[i]).CompareNoCase(t.c_str()) == 0) return static_cast<int>(i);
  }
  return LB_ERR;
}

int CWnd::SetItemData(int index, UINT_PTR data) {
  auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->itemData.size()) return LB_ERR;
  c->itemData[static_cast<size_t>(index)] = data;
  return 0;
}

UINT_PTR CWnd::GetItemData(int index) const {
  const auto* c = Model();
  if (!c || index < 0 || static_cast<size_t>(index) >= c->itemData.size()) return static_cast<UINT_PTR>(LB_ERR);
  return c->itemData[static_cast<size_t>(index)];
}

int CWnd::InsertColumn(int column, const char* heading, int, int) {
  auto* c = Model();
  if (!c) return -1;
  const size_t at = std::min(c->columns.size(), static_cast<size_t>(std::max(column, 0)));
  c->columns.insert(c->columns.begin() + static_cast<long>(at), heading ? heading : "");
  return static_cast<int>(at);
}

int CWnd::InsertItem(int row, const char* text) { return InsertString(row, text); }

BOOL CWnd::SetItemText(int row, int column, const char* text) {
  auto* c = Model();
  if (!c || row < 0 || static_cast<size_t>(row) >= c->items.size() || column < 0) return FALSE;
  if (column == 0) {
    c->items[static_cast<size_t>(row)] = text ? text : "";
    return TRUE;
  }
  auto& cells = c->subItems[static_cast<size_t>(row)];
  if (cells.size() < static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column));
  cells[static_cast<size_t>(column) - 1] = text ? text : "";
  return TRUE;
}

CString CWnd::GetItemText(int row, int column) const {
  const auto* c = Model();
  if (!c || row < 0 || static_cast<size_t>(row) >= c->items.size() || column < 0) return {};
  if (column == 0) return c->items[static_cast<size_t>(row)];
  const auto& cells = c->subItems[static_cast<size_t>(row)];
  return static_cast<size_t>(column) <= cells.size() ? CString(cells[static_cast<size_t>(column) - 1]) : CString();
}

BOOL CWnd::DeleteAllItems() {
  ResetContent();
  return TRUE;
}

int CWnd::GetNextItem(int start, int flags) const {
  const auto* c = Model();
  if (!c || !(flags & LVNI_SELECTED)) return -1;
  return c->selection > start ? c->selection : -1;
}

// ---- data exchange ----

void CDataExchange::Fail() { throw CUserException(); }

namespace {
afx::Control& ControlFor(CDataExchange* pDX, int id) {
  pDX->m_idLastControl = id;
  afx::Control* c = pDX->m_pDlgWnd->FindControl(id);
  if (!c) {
    // A binding without a control in the template is a resource mistake;
    // keep the dialog usable and say so.
    AfxTrace("DDX: template %u has no control %d", pDX->m_pDlgWnd->TemplateId(), id);
    pDX->m_pDlgWnd->Controls().push_back(afx::Control{});
    pDX->m_pDlgWnd->Controls().back().id = id;
    c = pDX->m_pDlgWnd->FindControl(id);
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
  auto& controls = pDX->m_pDlgWnd->Controls();
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
  if (!control.IsAttached()) control.Attach(pDX->m_pDlgWnd, id);
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars) {
  if (!pDX->m_bSaveAndValidate) {
    if (auto* c = pDX->m_pDlgWnd->FindControl(pDX->m_idLastControl)) c->limitText = maxChars;
    return;
  }
  if (value.GetLength() > maxChars) {
    CString text;
    text.Format("Enter no more than %d characters.", maxChars);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue) {
  if (pDX->m_bSaveAndValidate && (value < minValue || value > maxValue)) {
    CString text;
    text.Format("Please enter an integer between %d and %d.", minValue, maxValue);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minValue, UINT maxValue) {
  if (pDX->m_bSaveAndValidate && (value < minValue || value > maxValue)) {
    CString text;
    text.Format("Please enter an integer between %u and %u.", minValue, maxValue);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    pDX->Fail();
  }
}

// ---- CDialog ----

CDialog::CDialog(UINT templateId, CWnd* parent)
    : templateId_(templateId), parent_(parent), moduleState_(AfxGetModuleState()) {
  Attach(this, 0);
}

BOOL CDialog::SendCommand(UINT id, UINT code) {
  AFX_MANAGE_STATE(moduleState_);
  return OnCommand(id, code);
}

int CDialog::SendVKeyToItem(UINT key, int listId, UINT caretIndex) {
  AFX_MANAGE_STATE(moduleState_);
  return OnVKeyToItem(key, listId, caretIndex);
}

void CDialog::CreateControls() {
  if (created_) return;
  created_ = true;
  AFX_MANAGE_STATE(moduleState_);
  const DialogTemplate* t = afx::FindDialogTemplate(static_cast<int>(templateId_));
  if (!t) {
    AfxTrace("CDialog: no template %u in the current module", templateId_);
    return;
  }
  if (caption_.empty()) caption_ = t->caption ? t->caption : "";
  for (const ControlTemplate& ct : t->controls) {
    afx::Control c;
    c.id = ct.id;
    c.kind = ct.kind ? ct.kind : "";
    c.style = ct.style ? ct.style : "";
    c.text = ct.caption ? ct.caption : "";
    c.enabled = !c.HasStyle("disabled");
    c.visible = !c.HasStyle("hidden");
    controls_.push_back(std::move(c));
  }
}

afx::Control* CDialog::FindControl(int id) {
  for (auto& c : controls_)
    if (c.id == id) return &c;
  return nullptr;
}

const afx::Control* CDialog::FindControl(int id) const {
  for (const auto& c : controls_)
    if (c.id == id) return &c;
  return nullptr;
}

INT_PTR CDialog::DoModal() {
  CreateControls();
  ResetEnd();
  OnInitDialog();
  if (IsEnded()) return EndResult();
  return afx::GetUi().RunModal(*this);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return FALSE;
  }
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) {
  ended_ = true;
  endResult_ = result;
}

BOOL CDialog::OnCommand(UINT id, UINT code) {
  if (code != BN_CLICKED) return FALSE;
  if (id == static_cast<UINT>(IDOK)) {
    OnOK();
    return TRUE;
  }
  if (id == static_cast<UINT>(IDCANCEL)) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

int CDialog::OnVKeyToItem(UINT, int, UINT) { return -1; }

CWnd* CDialog::GetDlgItem(int id) {
  // Handles live as long as the dialog; one per id.
  for (auto& h : handles_)
    if (h->GetDlgCtrlID() == id) return h.get();
  if (!FindControl(id)) return nullptr;
  handles_.push_back(std::make_unique<CWnd>());
  handles_.back()->Attach(this, id);
  return handles_.back().get();
}

void CDialog::SetDlgItemText(int id, const char* text) {
  if (auto* c = FindControl(id)) c->text = text ? text : "";
}

UINT CDialog::GetDlgItemText(int id, CString& text) const {
  const auto* c = FindControl(id);
  text = c ? c->text : "";
  return static_cast<UINT>(text.size());
}

void CDialog::CheckDlgButton(int id, UINT state) {
  if (auto* c = FindControl(id)) c->check = static_cast<int>(state);
}

UINT CDialog::IsDlgButtonChecked(int id) const {
  const auto* c = FindControl(id);
  return c ? static_cast<UINT>(c->check) : 0;
}

int CDialog::MessageBox(const char* text, const char* caption, UINT flags) {
  if (!caption) caption = AfxGetModuleState()->m_pszAppName;
  return ::MessageBox(nullptr, text, caption ? caption : "", flags);
}

// ---- property pages ----

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CDialog(templateId) {
  if (captionId != 0) caption_ = AfxLoadString(captionId);
}

BOOL CPropertyPage::OnSetActive() { return TRUE; }

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

void CPropertySheet::AddPage(CPropertyPage* page) {
  pages_.push_back(page);
  page->SetSheet(this);
}

BOOL CPropertySheet::ActivatePage(int index) {
  CPropertyPage* page = GetPage(index);
  AFX_MANAGE_STATE(page->ModuleState());
  page->CreateControls();
  if (!page->Initialised()) {
    page->MarkInitialised();
    page->OnInitDialog();
  }
  return page->OnSetActive();
}

BOOL CPropertySheet::NextFrom(int index) {
  CPropertyPage* page = GetPage(index);
  AFX_MANAGE_STATE(page->ModuleState());
  if (!page->OnKillActive()) return FALSE;
  if (index + 1 < GetPageCount()) return page->OnWizardNext() == 0;
  return page->OnWizardFinish();
}

BOOL CPropertySheet::BackFrom(int index) {
  CPropertyPage* page = GetPage(index);
  AFX_MANAGE_STATE(page->ModuleState());
  return page->OnWizardBack() == 0;
}

BOOL CPropertySheet::CancelAt(int index) {
  CPropertyPage* page = GetPage(index);
  AFX_MANAGE_STATE(page->ModuleState());
  if (!page->OnQueryCancel()) return FALSE;
  page->OnCancel();
  return TRUE;
}

INT_PTR CPropertySheet::DoModal() { return afx::GetUi().RunWizard(*this); }

// ---- file dialog ----

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD,
                         const char* filter, CWnd* parent)
    : CDialog(0, parent),
      open_(openFileDialog != FALSE),
      defaultExt_(defaultExt ? defaultExt : ""),
      initialName_(fileName ? fileName : ""),
      filter_(filter ? filter : "") {}

INT_PTR CFileDialog::DoModal() {
  path_.clear();
  extendedError_ = 0;
  const INT_PTR result = afx::GetUi().RunFileDialog(*this);
  if (result == IDOK && !defaultExt_.empty()) {
    const size_t slash = path_.find_last_of("/\\");
    const size_t dot = path_.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path_ += "." + defaultExt_;
  }
  return result;
}

CString CFileDialog::GetFileName() const {
  const size_t slash = path_.find_last_of("/\\");
  return slash == std::string::npos ? CString(path_) : CString(path_.substr(slash + 1));
}

CString CFileDialog::GetFileExt() const {
  const CString name = GetFileName();
  const int dot = name.ReverseFind('.');
  return dot < 0 ? CString() : name.Mid(dot + 1);
}
