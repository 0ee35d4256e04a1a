// The user-interface services the plug-in calls: message boxes, modal
// dialogs and wizards, file choosers, key state, clipboard and wait cursor.
// The host installs a presenter that shows them (terminal, batch, JSON); tests
// install a scripted one. Without a presenter every box takes its default
// button and every dialog is accepted as shown.
#pragma once
#include <string>

#include "afx/WinTypes.h"

class CDialog;
class CFileDialog;
class CPropertySheet;

namespace afx {

class UiPresenter {
 public:
  virtual ~UiPresenter() = default;
  // Shows a message box; returns IDOK, IDCANCEL, IDYES, IDNO, IDRETRY ...
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);
  // Runs a modal dialog whose controls exist and whose OnInitDialog has run:
  // applies the user's input, delivers commands, returns when the dialog ended.
  virtual INT_PTR RunModal(CDialog& dialog);
  // Runs a wizard over the sheet's pages; returns IDOK when finished, IDCANCEL when cancelled.
  virtual INT_PTR RunWizard(CPropertySheet& sheet);
  // Lets the user choose a file; IDOK with the dialog's path set, or IDCANCEL.
  virtual INT_PTR RunFileDialog(CFileDialog& dialog);
  // Negative when the key is held down.
  virtual short GetKeyState(int virtualKey);
  virtual void SetClipboardText(const std::string& text);
  virtual void SetWaitCursor(bool on);

  // The button a box with `flags` takes by default (MB_DEFBUTTONn of its buttons).
  static int DefaultButton(UINT flags);
  // "ok", "okcancel", "yesno", ... for the button set of `flags`.
  static const char* ButtonSetName(UINT flags);
};

UiPresenter& GetUi();
// Installs `presenter` (not owned; nullptr restores the default). Returns the previous one.
UiPresenter* SetUi(UiPresenter* presenter);

}  // namespace afx

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags);
// A message box captioned with the current module's application name.
int AfxMessageBox(const char* text, UINT flags = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT stringId, UINT flags = MB_OK, UINT helpId = 0);
short GetKeyState(int virtualKey);

// Shows the wait cursor for the life of the object.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
