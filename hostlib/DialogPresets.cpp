#include "hostlib/DialogPresets.h"

#include <algorithm>
#include <cstdlib>

#include "afx/Dialog.h"
#include "afx/String.h"

namespace {

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsDottedQuad(const std::string& s) {
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = s.find('.', start);
    if ((part < 3) == (dot == std::string::npos)) return false;
    const std::string field = s.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (!IsNumber(field) || field.size() > 3 || std::atoi(field.c_str()) > 255) return false;
    start = dot + 1;
  }
  return true;
}

bool HasWord(const std::string& style, const std::string& word) {
  return (" " + style + " ").find(" " + word + " ") != std::string::npos;
}

// Why a control of this kind and style cannot hold `value`; "" when it can
// (as far as the template tells: rows and limits are known when it shows).
std::string Misfit(const std::string& kind, const std::string& style, const std::string& value) {
  if (kind == "checkbox" || kind == "radio")
    return value == "0" || value == "1" ? "" : "a " + std::string(kind == "radio" ? "radio button" : "check box") +
                                                   " takes 0 or 1";
  if (kind == "edit") {
    if (HasWord(style, "readonly")) return "the edit is read-only";
    if (HasWord(style, "ipaddress") && !IsDottedQuad(value)) return "an address control takes a dotted quad (0-255 each)";
    return "";
  }
  if (kind == "listbox" || kind == "combobox" || kind == "listctrl") return "";
  return "a " + kind + " control takes no value";
}

bool ForTemplate(const SetValue& v, UINT id) {
  return IsNumber(v.dialog) && static_cast<UINT>(std::atoi(v.dialog.c_str())) == id;
}

}  // namespace

std::string DialogPresets::Spelling(const SetValue& v) { return "--set " + v.dialog + ":" + v.control + "=" + v.value; }

std::vector<std::string> DialogPresets::Check(const std::vector<DialogTemplate>* templates) const {
  std::vector<std::string> problems;
  for (const SetValue& v : values_) {
    const std::string spelled = Spelling(v);
    if (v.dialog == "file") {
      if (v.control != "path") problems.push_back(spelled + ": file choosers take only file:path=PATH");
      continue;
    }
    const DialogTemplate* dialog = nullptr;
    if (templates && IsNumber(v.dialog))
      for (const DialogTemplate& t : *templates)
        if (t.id == std::atoi(v.dialog.c_str())) dialog = &t;
    if (!dialog) {
      problems.push_back(spelled + ": the plug-in has no dialog template " + v.dialog);
      continue;
    }
    const ControlTemplate* control = nullptr;
    if (IsNumber(v.control))
      for (const ControlTemplate& c : dialog->controls)
        if (c.id == std::atoi(v.control.c_str())) control = &c;
    if (!control) {
      problems.push_back(spelled + ": template " + v.dialog + " (" + dialog->caption + ") has no control " + v.control);
      continue;
    }
    const std::string misfit = Misfit(control->kind, control->style, v.value);
    if (!misfit.empty()) problems.push_back(spelled + ": control " + v.control + ": " + misfit);
  }
  return problems;
}

int DialogPresets::ApplyValue(afx::Control& c, const std::string& value, std::string* why) {
  if (!c.visible || !c.enabled) {
    *why = std::string("the control is ") + (c.visible ? "disabled" : "hidden");
    return -1;
  }
  *why = Misfit(c.kind, c.style, value);
  if (!why->empty()) return -1;
  if (c.kind == "checkbox" || c.kind == "radio") {
    c.check = value == "1" ? 1 : 0;
    return BN_CLICKED;
  }
  if (c.IsList()) {
    int row = -1;
    if (value.size() > 1 && value[0] == '#' && IsNumber(value.substr(1))) {
      const long n = std::atol(value.c_str() + 1);
      if (static_cast<size_t>(n) < c.items.size()) row = static_cast<int>(n);
    } else {
      for (size_t i = 0; i < c.items.size() && row < 0; ++i)
        if (CString(c.items[i]).CompareNoCase(value.c_str()) == 0) row = static_cast<int>(i);
    }
    if (row >= 0) {
      c.selection = row;
      return LBN_SELCHANGE;
    }
    // A drop-down combo also takes typed text; a drop-down list only its rows.
    if (c.kind == "combobox" && !c.HasStyle("dropdownlist")) {
      c.text = value;
      c.selection = -1;
      return CBN_SELCHANGE;
    }
    std::string rows;
    for (const std::string& item : c.items) rows += (rows.empty() ? "" : ", ") + item;
    *why = "it holds no row \"" + value + "\" (" + (rows.empty() ? "it is empty" : "rows: " + rows) + ")";
    return -1;
  }
  if (c.limitText > 0 && value.size() > static_cast<size_t>(c.limitText)) {
    *why = "it takes at most " + std::to_string(c.limitText) + " characters";
    return -1;
  }
  c.text = value;
  return EN_KILLFOCUS;
}

bool DialogPresets::Apply(CDialog& dialog, std::string* problem) {
  const UINT id = dialog.TemplateId();
  for (size_t i = 0; i < values_.size(); ++i)
    if (ForTemplate(values_[i], id)) used_[i] = true;
  for (const SetValue& v : values_) {
    if (!ForTemplate(v, id)) continue;
    afx::Control* c = IsNumber(v.control) ? dialog.FindControl(std::atoi(v.control.c_str())) : nullptr;
    std::string why = "no such control";
    const int code = c ? ApplyValue(*c, v.value, &why) : -1;
    if (code < 0) {
      *problem = Spelling(v) + ": " + dialog.Caption() + " (" + std::to_string(id) + "): control " + v.control + ": " + why;
      return false;
    }
    dialog.SendCommand(static_cast<UINT>(c->id), static_cast<UINT>(code));
  }
  return true;
}

const std::string* DialogPresets::FilePath() {
  for (size_t i = 0; i < values_.size(); ++i)
    if (values_[i].dialog == "file" && values_[i].control == "path") {
      used_[i] = true;
      return &values_[i].value;
    }
  return nullptr;
}

std::vector<SetValue> DialogPresets::AppliedTo(UINT templateId) const {
  std::vector<SetValue> applied;
  for (size_t i = 0; i < values_.size(); ++i)
    if (used_[i] && ForTemplate(values_[i], templateId)) applied.push_back(values_[i]);
  return applied;
}

std::vector<std::string> DialogPresets::Unused() const {
  std::vector<std::string> unused;
  for (size_t i = 0; i < values_.size(); ++i)
    if (!used_[i])
      unused.push_back(Spelling(values_[i]) + ": " +
                       (values_[i].dialog == "file" ? "no file chooser" : "dialog " + values_[i].dialog) +
                       " never appeared, so the value was not used");
  return unused;
}
