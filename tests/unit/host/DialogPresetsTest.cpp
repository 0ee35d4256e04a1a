// --set values: what the templates refuse before anything runs, and what a
// dialog as it shows refuses or takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/Dialog.h"
#include "hostlib/DialogPresets.h"

namespace {

const std::vector<DialogTemplate> kTemplates = {
    {912, "Ethernet Configuration",
     {{913, "combobox", "", "dropdownlist"}, {914, "edit", "", "ipaddress"}, {921, "edit", "", ""},
      {1100, "static", "IP Setup", ""}, {1, "button", "OK", "default"}}},
    {106, "Software Version", {{1017, "edit", "", "readonly"}}},
    {122, "Clone", {{5115, "checkbox", "Install", ""}, {1130, "picture", "", ""}}},
};

// A dialog as it shows: rows filled, a limit set, one control disabled.
class ShownDialog : public CDialog {
 public:
  ShownDialog() : CDialog(912) {
    auto add = [this](int id, const char* kind, const char* style) {
      afx::Control c;
      c.id = id;
      c.kind = kind;
      c.style = style;
      Controls().push_back(c);
      return &Controls().back();
    };
    add(913, "combobox", "dropdownlist")->items = {"DHCP", "Static IP address"};
    add(914, "edit", "ipaddress")->enabled = false;
    add(921, "edit", "")->limitText = 5;
    add(930, "combobox", "")->items = {"a"};
    add(1002, "listbox", "")->items = {"Version 4.20", "Version 4.10"};
  }
  BOOL OnCommand(UINT id, UINT code) override {
    commands.push_back(std::to_string(id) + "/" + std::to_string(code));
    return TRUE;
  }
  std::vector<std::string> commands;
};

}  // namespace

TEST(DialogPresets, TemplatesRefuseWhatCannotApply) {
  struct Case {
    SetValue value;
    const char* problem;  // nullptr: no problem yet
  };
  const Case cases[] = {
      {{"912", "913", "Bogus"}, nullptr},  // rows are known when it shows
      {{"912", "914", "10.0.0.255"}, nullptr},
      {{"912", "914", "999.1.1.1"}, "control 914: an address control takes a dotted quad"},
      {{"912", "914", "10.0.0"}, "control 914: an address control"},
      {{"912", "914", "10.0.0.1.2"}, "control 914: an address control"},
      {{"912", "999", "1"}, "template 912 (Ethernet Configuration) has no control 999"},
      {{"912", "1100", "x"}, "control 1100: a static control takes no value"},
      {{"912", "1", "x"}, "a button control takes no value"},
      {{"999", "1", "x"}, "the plug-in has no dialog template 999"},
      {{"ip", "1", "x"}, "the plug-in has no dialog template ip"},
      {{"106", "1017", "x"}, "control 1017: the edit is read-only"},
      {{"122", "5115", "yes"}, "control 5115: a check box takes 0 or 1"},
      {{"122", "5115", "1"}, nullptr},
      {{"file", "path", "/tmp/x.xml"}, nullptr},
      {{"file", "name", "x"}, "file choosers take only file:path=PATH"},
  };
  for (const Case& c : cases) {
    const std::string spelled = DialogPresets::Spelling(c.value);
    SCOPED_TRACE(spelled);
    const auto problems = DialogPresets({c.value}).Check(&kTemplates);
    if (!c.problem) {
      EXPECT_TRUE(problems.empty()) << problems.front();
      continue;
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind(spelled + ": ", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
  }
}

TEST(DialogPresets, ADialogAsItShowsTakesOrRefusesEachValueInOrder) {
  struct Case {
    std::vector<SetValue> values;
    const char* problem;                // nullptr: all applied
    std::vector<std::string> commands;  // notifications the dialog got
    int selection913;
  };
  const Case cases[] = {
      {{{"912", "913", "static ip ADDRESS"}, {"912", "921", "8080"}}, nullptr, {"913/1", "921/512"}, 1},
      {{{"912", "913", "#0"}}, nullptr, {"913/1"}, 0},
      {{{"912", "913", "#2"}}, "it holds no row \"#2\" (rows: DHCP, Static IP address)", {}, 0},
      {{{"912", "913", "Bogus"}, {"912", "921", "80"}}, "control 913: it holds no row \"Bogus\"", {}, 0},
      {{{"912", "921", "123456"}}, "it takes at most 5 characters", {}, 0},
      {{{"912", "914", "10.0.0.1"}}, "control 914: the control is disabled", {}, 0},
      {{{"912", "930", "typed"}}, nullptr, {"930/1"}, 0},  // a drop-down combo takes typed text
      {{{"912", "1002", "version 4.10"}}, nullptr, {"1002/1"}, 0},
      {{{"912", "940", "1"}}, "control 940: no such control", {}, 0},
      {{{"106", "1017", "1"}}, nullptr, {}, 0},  // another dialog's value waits for it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DialogPresets::Spelling(c.values.front()));
    ShownDialog dialog;
    dialog.FindControl(913)->selection = 0;
    DialogPresets presets(c.values);
    std::string problem;
    EXPECT_EQ(presets.Apply(dialog, &problem), c.problem == nullptr) << problem;
    if (c.problem) {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    EXPECT_EQ(dialog.commands, c.commands);
    EXPECT_EQ(dialog.FindControl(913)->selection, c.selection913);
    // Applied values are used; others wait and are reported unused.
    const bool waits = c.values.front().dialog != "912";
    EXPECT_EQ(presets.Unused().size(), waits ? 1u : 0u);
  }
}
