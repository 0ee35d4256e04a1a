#include "afx/Dialog.h"

#include "afx/Exception.h"
#include "afx/Trace.h"
#include "afx/Ui.h"

CDialog::CDialog(UINT templateId, CWnd* parent)
    : templateId_(templateId), parent_(parent), moduleState_(AfxGetModuleState()) {
  Attach(&controls_, 0);
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

afx::Control* CDialog::FindControl(int id) { return afx::FindControl(controls_, id); }

const afx::Control* CDialog::FindControl(int id) const { return afx::FindControl(controls_, id); }

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
  CDataExchange dx(controls_, templateId_, saveAndValidate);
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
  handles_.back()->Attach(&controls_, id);
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
