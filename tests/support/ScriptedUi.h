// A presenter for tests: records message boxes and answers them from a
// script; dialogs are handed to a callback.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "afx/Dialog.h"
#include "afx/FileDialog.h"
#include "afx/Ui.h"

class ScriptedUi : public afx::UiPresenter {
 public:
  struct Box {
    std::string text;
    std::string caption;
    UINT flags;
  };
  std::vector<Box> boxes;
  std::deque<int> answers;  // taken in order; the default button when empty
  std::function<void(CDialog&)> onDialog;
  std::function<bool(CFileDialog&)> onFileDialog;
  std::string clipboard;
  bool ctrlAlt = false;

  int MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) override {
    boxes.push_back({text, caption, flags});
    if (answers.empty()) return DefaultButton(flags);
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
  INT_PTR RunModal(CDialog& dialog) override {
    if (onDialog) onDialog(dialog);
    if (!dialog.IsEnded()) dialog.SendCommand(IDOK, BN_CLICKED);
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
    return dialog.EndResult();
  }
  INT_PTR RunFileDialog(CFileDialog& dialog) override {
    return onFileDialog && onFileDialog(dialog) ? IDOK : IDCANCEL;
  }
  short GetKeyState(int key) override {
    return (ctrlAlt && (key == VK_CONTROL || key == VK_MENU)) ? static_cast<short>(0xFF80) : 0;
  }
  void SetClipboardText(const std::string& text) override { clipboard = text; }
};

// Installs a presenter for a scope.
class ScopedUi {
 public:
  explicit ScopedUi(afx::UiPresenter& ui) : previous_(afx::SetUi(&ui)) {}
  ~ScopedUi() { afx::SetUi(previous_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  afx::UiPresenter* previous_;
};
