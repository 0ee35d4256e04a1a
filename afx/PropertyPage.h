// A page of a wizard: a dialog that its sheet shows, leaves and finishes.
#pragma once
#include "afx/Dialog.h"

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT templateId, UINT captionId = 0);
  // The page is about to show; FALSE keeps it hidden.
  virtual BOOL OnSetActive();
  // The page is about to be left; default: UpdateData(TRUE).
  virtual BOOL OnKillActive();
  // Next pressed: 0 goes on, -1 stays on this page.
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }
  virtual BOOL OnQueryCancel() { return TRUE; }
  void SetModified(BOOL = TRUE) {}
  CPropertySheet* GetParentSheet() const { return sheet_; }
  void SetSheet(CPropertySheet* sheet) { sheet_ = sheet; }
  bool Initialised() const { return initialised_; }
  void MarkInitialised() { initialised_ = true; }

 private:
  CPropertySheet* sheet_ = nullptr;
  bool initialised_ = false;
};
