// Shows the plug-in's message boxes, dialogs, wizard pages and file choosers
// on the console, or answers them from the command line in batch runs.
#pragma once
#include <cstdio>
#include <map>
#include <string>

#include "afx/Ui.h"
#include "host/Console.h"
#include "host/Options.h"

namespace afx {
struct Control;
}

class ConsolePresenter : public afx::UiPresenter {
 public:
  ConsolePresenter(const Options& options, Console& console, std::FILE* in);

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) override;
  INT_PTR RunModal(CDialog& dialog) override;
  INT_PTR RunWizard(CPropertySheet& sheet) override;
  INT_PTR RunFileDialog(CFileDialog& dialog) override;
  short GetKeyState(int virtualKey) override;
  void SetClipboardText(const std::string& text) override;

  // Applies one --set value to a control; returns the notification code the
  // change sends, or -1 when the value does not fit the control.
  static int ApplyValue(afx::Control& control, const std::string& value);
  // Button name ("yes") -> id (IDYES); 0 when unknown.
  static int ButtonId(const std::string& name);
  static const char* ButtonName(int id);

 private:
  bool Interactive() const { return !options_.batch; }
  bool ReadLine(std::string* line);
  void ApplySets(CDialog& dialog);
  std::map<std::string, std::string> ControlValues(CDialog& dialog) const;
  // Interactive form; returns "ok", "cancel", "next", "back" or "" at end of input.
  std::string EditForm(CDialog& dialog, bool wizard, bool lastPage);
  void PrintForm(CDialog& dialog, bool wizard, bool lastPage);
  // "next" or "cancel" when the page asked its wizard to press that button, else "".
  static std::string PressedAction(CDialog& dialog);

  const Options& options_;
  Console& console_;
  std::FILE* in_;
  bool inputEnded_ = false;
};
