#include "afx/RegKeyNode.h"

#include <utility>

namespace afx {

RegKeyNode::RegKeyNode(std::string name) : name_(std::move(name)) {}

RegKeyNode::RegKeyNode(const RegKeyNode& other)
    : name_(other.name_),
      values_(other.values_),
      subkeyIndex_(other.subkeyIndex_),
      valueIndex_(other.valueIndex_) {
  subkeys_.reserve(other.subkeys_.size());
  for (const auto& child : other.subkeys_) subkeys_.push_back(std::make_unique<RegKeyNode>(*child));
}

RegKeyNode& RegKeyNode::operator=(const RegKeyNode& other) {
  if (this != &other) {
    RegKeyNode copy(other);
    *this = std::move(copy);
  }
  return *this;
}

std::string RegKeyNode::Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool RegKeyNode::SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

RegKeyNode* RegKeyNode::FindSubkey(std::string_view name) {
  auto it = subkeyIndex_.find(Fold(name));
  return it == subkeyIndex_.end() ? nullptr : subkeys_[it->second].get();
}

const RegKeyNode* RegKeyNode::FindSubkey(std::string_view name) const {
  auto it = subkeyIndex_.find(Fold(name));
  return it == subkeyIndex_.end() ? nullptr : subkeys_[it->second].get();
}

RegKeyNode* RegKeyNode::FindFoldedSubkey(const std::string& folded) {
  auto it = subkeyIndex_.find(folded);
  return it == subkeyIndex_.end() ? nullptr : subkeys_[it->second].get();
}

RegKeyNode& RegKeyNode::AddSubkey(std::string_view name, bool* created) {
  auto [it, inserted] = subkeyIndex_.try_emplace(Fold(name), subkeys_.size());
  if (created) *created = inserted;
  if (inserted) subkeys_.push_back(std::make_unique<RegKeyNode>(std::string(name)));
  return *subkeys_[it->second];
}

bool RegKeyNode::RemoveSubkey(std::string_view name) {
  auto it = subkeyIndex_.find(Fold(name));
  if (it == subkeyIndex_.end()) return false;
  subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(it->second));
  ReindexSubkeys();
  return true;
}

void RegKeyNode::Clear() {
  subkeys_.clear();
  values_.clear();
  subkeyIndex_.clear();
  valueIndex_.clear();
}

const RegValue* RegKeyNode::FindValue(std::string_view name) const {
  auto it = valueIndex_.find(Fold(name));
  return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

bool RegKeyNode::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
  auto [it, inserted] = valueIndex_.try_emplace(Fold(name), values_.size());
  if (inserted) {
    values_.push_back(RegValue{std::string(name), type, std::move(data)});
    return true;
  }
  RegValue& value = values_[it->second];
  if (value.type == type && value.data == data) return false;
  value.type = type;
  value.data = std::move(data);
  return true;
}

bool RegKeyNode::RemoveValue(std::string_view name) {
  auto it = valueIndex_.find(Fold(name));
  if (it == valueIndex_.end()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
  ReindexValues();
  return true;
}

bool RegKeyNode::operator==(const RegKeyNode& other) const {
  if (name_ != other.name_ || values_ != other.values_ || subkeys_.size() != other.subkeys_.size())
    return false;
  for (size_t i = 0; i < subkeys_.size(); ++i) {
    if (!(*subkeys_[i] == *other.subkeys_[i])) return false;
  }
  return true;
}

void RegKeyNode::ReindexSubkeys() {
  subkeyIndex_.clear();
  for (size_t i = 0; i < subkeys_.size(); ++i) subkeyIndex_.emplace(Fold(subkeys_[i]->name_), i);
}

void RegKeyNode::ReindexValues() {
  valueIndex_.clear();
  for (size_t i = 0; i < values_.size(); ++i) valueIndex_.emplace(Fold(values_[i].name), i);
}

}  // namespace afx
