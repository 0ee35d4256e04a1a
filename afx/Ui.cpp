#include "afx/Ui.h"

#include <atomic>

#include "afx/Dialog.h"
#include "afx/Module.h"
#include "afx/PropertySheet.h"
#include "afx/Trace.h"

namespace afx {

namespace {
std::atomic<UiPresenter*> g_ui{nullptr};
UiPresenter& DefaultUi() {
  static UiPresenter ui;
  return ui;
}
}  // namespace

int UiPresenter::DefaultButton(UINT flags) {
  const UINT def = (flags & MB_DEFMASK) >> 8;
  auto pick = [def](std::initializer_list<int> buttons) {
    const size_t index = def < buttons.size() ? def : 0;
    return *(buttons.begin() + index);
  };
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return pick({IDOK, IDCANCEL});
    case MB_ABORTRETRYIGNORE: return pick({IDABORT, IDRETRY, IDIGNORE});
    case MB_YESNOCANCEL: return pick({IDYES, IDNO, IDCANCEL});
    case MB_YESNO: return pick({IDYES, IDNO});
    case MB_RETRYCANCEL: return pick({IDRETRY, IDCANCEL});
    default: return IDOK;
  }
}

const char* UiPresenter::ButtonSetName(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return "okcancel";
    case MB_ABORTRETRYIGNORE: return "abortretryignore";
    case MB_YESNOCANCEL: return "yesnocancel";
    case MB_YESNO: return "yesno";
    case MB_RETRYCANCEL: return "retrycancel";
    default: return "ok";
  }
}

int UiPresenter::MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) {
  AfxTrace("MessageBox [%s] %s", caption.c_str(), text.c_str());
  return DefaultButton(flags);
}

INT_PTR UiPresenter::RunModal(CDialog& dialog) {
  dialog.SendCommand(IDOK, BN_CLICKED);
  if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
  return dialog.EndResult();
}

INT_PTR UiPresenter::RunWizard(CPropertySheet& sheet) {
  for (int i = 0; i < sheet.GetPageCount(); ++i) {
    if (!sheet.ActivatePage(i)) continue;
    if (!sheet.NextFrom(i)) return IDCANCEL;
  }
  return IDOK;
}

INT_PTR UiPresenter::RunFileDialog(CFileDialog&) { return IDCANCEL; }
short UiPresenter::GetKeyState(int) { return 0; }
void UiPresenter::SetClipboardText(const std::string&) {}
void UiPresenter::SetWaitCursor(bool) {}

UiPresenter& GetUi() {
  UiPresenter* ui = g_ui.load();
  return ui ? *ui : DefaultUi();
}

UiPresenter* SetUi(UiPresenter* presenter) { return g_ui.exchange(presenter); }

}  // namespace afx

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  return afx::GetUi().MessageBox(owner, text ? text : "", caption ? caption : "", flags);
}

int AfxMessageBox(const char* text, UINT flags, UINT) {
  const char* app = AfxGetModuleState()->m_pszAppName;
  return MessageBox(nullptr, text, app ? app : "", flags);
}

int AfxMessageBox(UINT stringId, UINT flags, UINT helpId) {
  return AfxMessageBox(AfxLoadString(stringId).c_str(), flags, helpId);
}

short GetKeyState(int virtualKey) { return afx::GetUi().GetKeyState(virtualKey); }

CWaitCursor::CWaitCursor() { afx::GetUi().SetWaitCursor(true); }
CWaitCursor::~CWaitCursor() { afx::GetUi().SetWaitCursor(false); }
