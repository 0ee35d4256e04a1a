// The dialog model: controls from templates, data exchange, command delivery
// and the end of a modal session.
#include <gtest/gtest.h>

#include <tuple>

#include "afx/Dialog.h"
#include "afx/Module.h"
#include "afx/Ui.h"
#include "support/ScriptedUi.h"

namespace {

const std::vector<DialogTemplate> kTemplates = {
    {500,
     "Test Dialog",
     {
         {1000, "edit", "", ""},
         {1001, "checkbox", "Enable", ""},
         {1002, "combobox", "", ""},
         {1003, "edit", "", "disabled"},
         {1004, "button", "Apply", ""},
         {1005, "listbox", "", "sort"},
         {1006, "radio", "A", ""},
         {1007, "radio", "B", ""},
         {1, "button", "OK", "default"},
         {2, "button", "Cancel", ""},
     }},
};

class ModuleScope {
 public:
  ModuleScope() : manage_(&state_) { state_.dialogs = &kTemplates; }

 private:
  AFX_MODULE_STATE state_;
  AFX_MAINTAIN_STATE manage_;
};

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(500) {}
  CString name = "receiver";
  int port = 80;
  int enable = 0;
  int mode = 1;
  int choice = 0;
  int applyClicks = 0;

  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 1000, name);
    DDV_MaxChars(pDX, name, 8);
    DDX_Text(pDX, 1003, port);
    DDV_MinMaxInt(pDX, port, 1, 65535);
    DDX_Check(pDX, 1001, enable);
    DDX_CBIndex(pDX, 1002, mode);
    DDX_Radio(pDX, 1006, choice);
  }
  BOOL OnInitDialog() override {
    CComboBox* combo = static_cast<CComboBox*>(GetDlgItem(1002));
    combo->AddString("DHCP");
    combo->AddString("Static");
    return CDialog::OnInitDialog();
  }
  BOOL OnCommand(UINT id, UINT code) override {
    if (id == 1004 && code == BN_CLICKED) {
      ++applyClicks;
      GetDlgItem(1003)->EnableWindow(TRUE);
      return TRUE;
    }
    return CDialog::OnCommand(id, code);
  }
};

}  // namespace

TEST(DialogTest, OkSavesAndValidates) {
  ModuleScope module;
  ScriptedUi ui;
  ScopedUi scope(ui);
  struct Case {
    const char* name;
    const char* text1000;
    const char* text1003;
    bool wantEnded;
    size_t wantBoxes;
  };
  const Case cases[] = {
      {"valid", "base", "8080", true, 0},
      {"too long", "a-much-too-long-name", "8080", false, 1},
      {"not a number", "base", "80x", false, 1},
      {"out of range", "base", "70000", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.boxes.clear();
    TestDialog dlg;
    bool endedAfterOk = false;
    ui.onDialog = [&](CDialog& d) {
      d.FindControl(1000)->text = c.text1000;
      d.FindControl(1003)->text = c.text1003;
      d.FindControl(1001)->check = 1;
      d.FindControl(1002)->selection = 0;
      d.FindControl(1007)->check = 1;
      d.FindControl(1006)->check = 0;
      d.SendCommand(IDOK, BN_CLICKED);
      endedAfterOk = d.IsEnded();
      if (!endedAfterOk) d.EndDialog(IDCANCEL);
    };
    const INT_PTR result = dlg.DoModal();
    EXPECT_EQ(std::make_tuple(endedAfterOk, ui.boxes.size(), result),
              std::make_tuple(c.wantEnded, c.wantBoxes, INT_PTR{c.wantEnded ? IDOK : IDCANCEL}));
    if (c.wantEnded) {
      EXPECT_EQ(std::make_tuple(dlg.name, dlg.port, dlg.enable, dlg.mode, dlg.choice),
                std::make_tuple("base", 8080, 1, 0, 1));
    }
  }
}

TEST(DialogTest, ControlsStartFromMembersCommandsReachHandlersAndListsKeepOrder) {
  ModuleScope module;
  ScriptedUi ui;
  ScopedUi scope(ui);
  TestDialog dlg;
  ui.onDialog = [](CDialog& d) {
    EXPECT_EQ(d.Caption(), "Test Dialog");
    EXPECT_EQ(std::make_tuple(d.FindControl(1000)->text, d.FindControl(1003)->text, d.FindControl(1003)->enabled,
                              d.FindControl(1002)->selection, d.FindControl(1006)->check, d.FindControl(1007)->check),
              std::make_tuple("receiver", "80", false, 1, 1, 0));
    d.SendCommand(1004, BN_CLICKED);
    EXPECT_TRUE(d.FindControl(1003)->enabled);
    CListBox* list = d.GetDlgItem(1005);
    list->AddString("charlie");
    list->AddString("alpha");
    list->AddString("bravo");
    CString first;
    list->GetText(0, first);
    EXPECT_EQ(first, "alpha");
    list->SetCurSel(2);
    list->DeleteString(0);
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_EQ(list->FindStringExact(-1, "CHARLIE"), 1);
    list->DeleteString(1);
    EXPECT_EQ(list->GetCurSel(), LB_ERR) << "the selected row went";
    d.SendCommand(IDCANCEL, BN_CLICKED);
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.applyClicks, 1);
}

TEST(MessageBoxTest, DefaultButtons) {
  struct Case {
    UINT flags;
    int want;
  };
  const Case cases[] = {
      {MB_OK, IDOK},
      {MB_YESNO, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON3, IDYES},  // no third button: the first is default
  };
  for (const Case& c : cases) EXPECT_EQ(afx::UiPresenter::DefaultButton(c.flags), c.want) << c.flags;
}
