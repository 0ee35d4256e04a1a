// The whole registry in memory: the two root keys that the store keeps.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "afx/RegKeyNode.h"

namespace afx {

class RegHive {
 public:
  static constexpr int kLocalMachine = 0;
  static constexpr int kCurrentUser = 1;
  static constexpr int kRootCount = 2;
  // Windows' own limits; they also keep recursion over the tree shallow.
  static constexpr size_t kMaxKeyNameLength = 255;
  static constexpr size_t kMaxDepth = 512;

  RegHive();

  RegKeyNode& Root(int which) { return roots_[static_cast<size_t>(which)]; }
  const RegKeyNode& Root(int which) const { return roots_[static_cast<size_t>(which)]; }

  // Index of a root named "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CURRENT_USER" or
  // "HKCU" (any case), or -1.
  static int RootIndex(std::string_view name);
  static const char* RootName(int which);

  RegKeyNode* Find(int root, const std::vector<std::string>& path);
  const RegKeyNode* Find(int root, const std::vector<std::string>& path) const;
  // The same for names already passed through RegKeyNode::Fold, as open handles keep them.
  RegKeyNode* FindFolded(int root, const std::vector<std::string>& foldedPath);
  const RegKeyNode* FindFolded(int root, const std::vector<std::string>& foldedPath) const;

  bool operator==(const RegHive& other) const;

 private:
  std::vector<RegKeyNode> roots_;
};

}  // namespace afx
