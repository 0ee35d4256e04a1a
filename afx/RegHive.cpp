#include "afx/RegHive.h"

namespace afx {

RegHive::RegHive() {
  for (int i = 0; i < kRootCount; ++i) roots_.emplace_back(RootName(i));
}

int RegHive::RootIndex(std::string_view name) {
  if (RegKeyNode::SameName(name, "HKEY_LOCAL_MACHINE") || RegKeyNode::SameName(name, "HKLM"))
    return kLocalMachine;
  if (RegKeyNode::SameName(name, "HKEY_CURRENT_USER") || RegKeyNode::SameName(name, "HKCU"))
    return kCurrentUser;
  return -1;
}

const char* RegHive::RootName(int which) {
  return which == kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

RegKeyNode* RegHive::Find(int root, const std::vector<std::string>& path) {
  if (root < 0 || root >= kRootCount) return nullptr;
  RegKeyNode* node = &Root(root);
  for (const auto& part : path) {
    node = node->FindSubkey(part);
    if (!node) return nullptr;
  }
  return node;
}

const RegKeyNode* RegHive::Find(int root, const std::vector<std::string>& path) const {
  return const_cast<RegHive*>(this)->Find(root, path);
}

RegKeyNode* RegHive::FindFolded(int root, const std::vector<std::string>& foldedPath) {
  if (root < 0 || root >= kRootCount) return nullptr;
  RegKeyNode* node = &Root(root);
  for (const auto& part : foldedPath) {
    node = node->FindFoldedSubkey(part);
    if (!node) return nullptr;
  }
  return node;
}

const RegKeyNode* RegHive::FindFolded(int root, const std::vector<std::string>& foldedPath) const {
  return const_cast<RegHive*>(this)->FindFolded(root, foldedPath);
}

bool RegHive::operator==(const RegHive& other) const { return roots_ == other.roots_; }

}  // namespace afx
