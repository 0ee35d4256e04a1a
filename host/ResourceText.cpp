#include "host/ResourceText.h"

namespace {

bool TakesInput(const afx::Control& c) { return c.kind == "edit" || c.IsList(); }

}  // namespace

std::string ResourceText::Plain(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" keeps the second
    out += caption[i];
  }
  return out;
}

std::vector<ResourceText::Choice> ResourceText::FilterChoices(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t bar = filter.find('|'); start < filter.size(); bar = filter.find('|', start)) {
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<Choice> choices;
  for (size_t i = 0; i < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // the "||" that ends the list
    choices.push_back({parts[i], i + 1 < parts.size() ? parts[i + 1] : ""});
  }
  return choices;
}

bool ResourceText::IsLabel(const std::vector<afx::Control>& controls, size_t index) {
  const afx::Control& c = controls[index];
  return index + 1 < controls.size() && (c.kind == "static" || c.kind == "groupbox") && !c.text.empty() &&
         TakesInput(controls[index + 1]);
}

std::string ResourceText::LabelOf(const std::vector<afx::Control>& controls, size_t index) {
  if (index == 0 || !IsLabel(controls, index - 1)) return "";
  std::string label = Plain(controls[index - 1].text);
  while (!label.empty() && (label.back() == ':' || label.back() == ' ')) label.pop_back();
  return label;
}
