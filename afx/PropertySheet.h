// The wizard that hosts pages, with its buttons.
#pragma once
#include <string>
#include <vector>

#include "afx/WinTypes.h"

class CPropertyPage;

constexpr DWORD PSWIZB_BACK = 0x1;
constexpr DWORD PSWIZB_NEXT = 0x2;
constexpr DWORD PSWIZB_FINISH = 0x4;
constexpr DWORD PSWIZB_DISABLEDFINISH = 0x8;
constexpr int PSBTN_BACK = 0;
constexpr int PSBTN_NEXT = 1;
constexpr int PSBTN_FINISH = 2;
constexpr int PSBTN_CANCEL = 5;

// The wizard that hosts pages.
class CPropertySheet {
 public:
  explicit CPropertySheet(const char* caption = "") : caption_(caption ? caption : "") {}
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const { return pages_.at(static_cast<size_t>(index)); }
  void SetWizardMode() {}
  void SetWizardButtons(DWORD flags) { buttons_ = flags; }
  DWORD WizardButtons() const { return buttons_; }
  // A page asks for a button to be pressed (PSM_PRESSBUTTON); the presenter
  // takes the request after the page's handler has returned. -1 when none.
  void PressButton(int button) { pressed_ = button; }
  int TakePressedButton() {
    const int b = pressed_;
    pressed_ = -1;
    return b;
  }
  const std::string& Caption() const { return caption_; }
  // Runs the pages through the presenter; IDOK when finished.
  INT_PTR DoModal();

  // Steps of the wizard for presenters, each in the page's module state.
  // Shows page i (initialising it once); FALSE when the page refused to show.
  BOOL ActivatePage(int index);
  // Leaves page i forward: OnKillActive, then OnWizardNext (or OnWizardFinish
  // on the last page). TRUE when the wizard may move on.
  BOOL NextFrom(int index);
  // Leaves page i backward; TRUE when allowed.
  BOOL BackFrom(int index);
  // Asks page i whether the wizard may be cancelled, then cancels it.
  BOOL CancelAt(int index);

 private:
  std::string caption_;
  std::vector<CPropertyPage*> pages_;
  DWORD buttons_ = PSWIZB_NEXT;
  int pressed_ = -1;
};
