// A page that asks the wizard to press one of its buttons (as the firmware
// list does on a double click) is obeyed by the console presenter.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "host/Console.h"
#include "host/ConsolePresenter.h"
#include "host/Options.h"

namespace {

constexpr UINT kList = 1002;

class PressingPage : public CPropertyPage {
 public:
  PressingPage(std::vector<std::string>* log, int name, int button)
      : CPropertyPage(9999), log_(log), name_(name), button_(button) {}
  // Its one control, a list, is control 1 of the form.
  BOOL OnInitDialog() override {
    afx::Control list;
    list.id = static_cast<int>(kList);
    list.kind = "listbox";
    list.items = {"row"};
    Controls().push_back(list);
    return CPropertyPage::OnInitDialog();
  }
  BOOL OnSetActive() override {
    log_->push_back("show " + std::to_string(name_));
    return TRUE;
  }
  LRESULT OnWizardNext() override {
    log_->push_back("next " + std::to_string(name_));
    return 0;
  }
  BOOL OnQueryCancel() override {
    log_->push_back("cancel " + std::to_string(name_));
    return TRUE;
  }
  BOOL OnCommand(UINT id, UINT code) override {
    if (id == kList && code == LBN_DBLCLK && button_ >= 0) GetParentSheet()->PressButton(button_);
    return CPropertyPage::OnCommand(id, code);
  }

 private:
  std::vector<std::string>* log_;
  int name_;
  int button_;
};

struct Outcome {
  INT_PTR result;
  std::vector<std::string> log;
};

Outcome RunWizard(const std::string& input, int button) {
  Outcome out;
  PressingPage first(&out.log, 0, button), second(&out.log, 1, button);
  CPropertySheet sheet;
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  std::FILE* in = std::tmpfile();
  std::FILE* shown = std::tmpfile();
  std::fputs(input.c_str(), in);
  std::rewind(in);
  Options options;
  Console console(false, shown, shown);
  ConsolePresenter presenter(options, console, in);
  out.result = presenter.RunWizard(sheet);
  std::fclose(in);
  std::fclose(shown);
  return out;
}

TEST(WizardButton, PressRequestsMoveTheWizard) {
  struct Case {
    const char* name;
    std::string input;
    int button;
    INT_PTR result;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"double click presses Next", "d 1\ncancel\n", PSBTN_NEXT, IDCANCEL,
       {"show 0", "next 0", "show 1", "cancel 1"}},
      {"on the last page it finishes", "d 1\nd 1\ncancel\n", PSBTN_FINISH, IDOK, {"show 0", "next 0", "show 1"}},
      {"a Cancel request cancels", "d 1\n", PSBTN_CANCEL, IDCANCEL, {"show 0", "cancel 0"}},
      {"a page that asks nothing stays", "d 1\ncancel\n", -1, IDCANCEL, {"show 0", "cancel 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunWizard(c.input, c.button);
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(o.log, c.log);
  }
}

}  // namespace
