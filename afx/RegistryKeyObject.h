// What an HKEY points at: a key named by its root and path, and the access
// it was opened with. Keys are found by path on every use because the hive is
// re-read whenever another process changes the store; the path is kept folded
// as well, so that a look-up hashes the names without folding them again.
#pragma once
#include <string>
#include <vector>

#include "afx/WinTypes.h"

namespace afx {

class RegistryKeyObject {
 public:
  RegistryKeyObject(int root, std::vector<std::string> path, DWORD access, bool predefined);

  int Root() const { return root_; }
  const std::vector<std::string>& Path() const { return path_; }
  const std::vector<std::string>& FoldedPath() const { return foldedPath_; }
  bool Allows(DWORD right) const { return (access_ & right) == right; }
  bool Predefined() const { return predefined_; }

  // Once the key was seen deleted the handle stays dead, even if a key of the
  // same name is created again.
  bool Deleted() const { return deleted_; }
  void MarkDeleted() { deleted_ = true; }

  // "HKEY_LOCAL_MACHINE\\A\\B"
  std::string FullPath() const;

 private:
  int root_;
  std::vector<std::string> path_;
  std::vector<std::string> foldedPath_;
  DWORD access_;
  bool predefined_;
  bool deleted_ = false;
};

}  // namespace afx
