// What an HKEY points at: a key named by its root and path, and the access
// it was opened with. Keys are found by path on every use because the hive is
// re-read whenever another process changes the store; the path is kept folded
// as well, so that a look-up hashes the names without folding them again.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "afx/WinTypes.h"

namespace afx {

class RegKeyNode;

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

  // The key as last found in the hive of store generation `generation`
  // (see RegistryStore::Generation); null when it was never found in it.
  const RegKeyNode* CachedNode(std::uint64_t generation) const {
    return generation == cachedGeneration_ ? cachedNode_ : nullptr;
  }
  void CacheNode(const RegKeyNode* node, std::uint64_t generation) {
    cachedNode_ = node;
    cachedGeneration_ = generation;
  }

 private:
  int root_;
  std::vector<std::string> path_;
  std::vector<std::string> foldedPath_;
  DWORD access_;
  bool predefined_;
  bool deleted_ = false;
  const RegKeyNode* cachedNode_ = nullptr;
  std::uint64_t cachedGeneration_ = 0;  // generations start at 1
};

}  // namespace afx
