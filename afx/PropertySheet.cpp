#include "afx/PropertySheet.h"

#include "afx/PropertyPage.h"
#include "afx/Ui.h"

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
