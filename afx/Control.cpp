#include "afx/Control.h"

#include <sstream>

namespace afx {

bool Control::HasStyle(const char* word) const {
  std::istringstream in(style);
  std::string w;
  while (in >> w)
    if (w == word) return true;
  return false;
}

std::string Control::DisplayValue() const {
  if (kind == "checkbox" || kind == "radio") return check ? "1" : "0";
  if (IsList()) return (selection >= 0 && static_cast<size_t>(selection) < items.size()) ? items[static_cast<size_t>(selection)] : "";
  return text;
}

Control* FindControl(ControlList& controls, int id) {
  for (auto& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

const Control* FindControl(const ControlList& controls, int id) {
  for (const auto& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace afx
