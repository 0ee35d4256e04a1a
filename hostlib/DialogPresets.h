// The values that a script sets in the plug-in's dialogs and wizard pages
// (--set DLG:CTRL=VALUE): checked against the plug-in's dialog templates
// before anything runs, applied when the dialog shows, and remembered so
// that a value whose dialog never appeared is reported at the end.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "afx/Module.h"
#include "afx/WinTypes.h"

class CDialog;
namespace afx {
struct Control;
}

struct SetValue {
  std::string dialog;   // template id, or "file" for file choosers
  std::string control;  // control id, or "path"
  std::string value;
};

class DialogPresets {
 public:
  explicit DialogPresets(std::vector<SetValue> values) : values_(std::move(values)), used_(values_.size(), false) {}

  // What the templates already tell: a template or control that does not
  // exist, a control that takes no value, a value of the wrong kind.
  std::vector<std::string> Check(const std::vector<DialogTemplate>* templates) const;
  // Applies this dialog's values in order, each with the notification its
  // change sends; false with `problem` at the first that cannot apply (a row
  // a list does not hold, a disabled control, a text too long).
  bool Apply(CDialog& dialog, std::string* problem);
  // The path for file choosers, or nullptr.
  const std::string* FilePath();
  // The values applied to dialogs of this template so far.
  std::vector<SetValue> AppliedTo(UINT templateId) const;
  // Each value whose dialog never appeared, as a sentence.
  std::vector<std::string> Unused() const;

  // Sets one control to `value` (a person's input or a --set); returns the
  // notification the change sends, or -1 with `why` when it does not fit.
  static int ApplyValue(afx::Control& control, const std::string& value, std::string* why);
  static std::string Spelling(const SetValue& value);

 private:
  std::vector<SetValue> values_;
  std::vector<bool> used_;
};
