#include "afx/RegistryLock.h"

#include <filesystem>

#include "afx/Registry.h"

namespace afx {
namespace {

// The store whose lock this thread holds, and how deeply it is nested.
thread_local std::string heldPath;
thread_local int depth = 0;

}  // namespace

RegistryLock::RegistryLock() {
  const std::string path = GetRegistryPath();
  if (depth > 0) {
    held_ = heldPath == path;
    if (held_) ++depth;
    return;
  }
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (lock_.Acquire(path + ".lock", true) != 0) return;
  held_ = true;
  heldPath = path;
  depth = 1;
}

RegistryLock::~RegistryLock() {
  if (!held_) return;
  if (--depth == 0) heldPath.clear();
}

bool RegistryLock::HeldFor(const std::string& storePath) { return depth > 0 && heldPath == storePath; }

}  // namespace afx
