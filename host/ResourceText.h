// The plug-in's resource texts as a person reads them on a terminal: the
// mnemonic ampersands of control captions dropped ("&Path:" reads "Path:",
// "&&" reads "&"), a file chooser's filter as its list of choices, and the
// label that stands before an input in its template.
#pragma once
#include <string>
#include <vector>

#include "afx/Dialog.h"

class ResourceText {
 public:
  // A control caption without its mnemonic markers.
  static std::string Plain(const std::string& caption);

  struct Choice {
    std::string label;     // "IMG Files (*.img,*.timg)"
    std::string patterns;  // "*.img;*.timg"
  };
  // "IMG Files (*.img)|*.img|All files (*.*)|*.*||" as its choices; a
  // label without a pattern (a malformed filter) is kept on its own.
  static std::vector<Choice> FilterChoices(const std::string& filter);

  // The text of the static or group box just before control `index`, when
  // that control takes input: the label a person reads it by ("Description").
  // "" when there is none.
  static std::string LabelOf(const std::vector<afx::Control>& controls, size_t index);
  // Whether control `index` is the label LabelOf gives to the next control.
  static bool IsLabel(const std::vector<afx::Control>& controls, size_t index);
};
