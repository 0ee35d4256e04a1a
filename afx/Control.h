// One control of a dialog model: what its template says, and what the code
// and the user have done to it since.
#pragma once
#include <string>
#include <vector>

#include "afx/WinTypes.h"

namespace afx {
// One control of a dialog model.
struct Control {
  int id = 0;
  std::string kind;          // as in the template
  std::string style;
  std::string text;          // caption or edit text
  int check = 0;             // check boxes and radio buttons
  std::vector<std::string> items;           // list and combo rows; list-control first column
  std::vector<std::vector<std::string>> subItems;  // list-control further columns, per row
  std::vector<std::string> columns;         // list-control headings
  std::vector<UINT_PTR> itemData;
  int selection = -1;
  bool enabled = true;
  bool visible = true;
  int limitText = 0;         // 0 = no limit

  bool HasStyle(const char* word) const;
  bool IsList() const { return kind == "listbox" || kind == "combobox" || kind == "listctrl"; }
  // The value a host shows for this control.
  std::string DisplayValue() const;
};

// A dialog's controls in template order.
using ControlList = std::vector<Control>;
// The control `id` of `controls`, or nullptr.
Control* FindControl(ControlList& controls, int id);
const Control* FindControl(const ControlList& controls, int id);
}  // namespace afx
