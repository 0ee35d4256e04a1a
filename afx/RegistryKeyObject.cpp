#include "afx/RegistryKeyObject.h"

#include <utility>

#include "afx/RegHive.h"

namespace afx {

RegistryKeyObject::RegistryKeyObject(int root, std::vector<std::string> path, DWORD access,
                                     bool predefined)
    : root_(root), path_(std::move(path)), access_(access), predefined_(predefined) {
  foldedPath_.reserve(path_.size());
  for (const auto& part : path_) foldedPath_.push_back(RegKeyNode::Fold(part));
}

std::string RegistryKeyObject::FullPath() const {
  std::string full = RegHive::RootName(root_);
  for (const auto& part : path_) full += "\\" + part;
  return full;
}

}  // namespace afx
