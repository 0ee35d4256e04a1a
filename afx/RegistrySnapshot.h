// While one lives, registry reads in its thread check the store file once and
// then use what was read: a consistent view for a scan of many keys, without
// a look at the file on every call. Other processes' changes show once the
// outermost snapshot ends. Writes are not affected: they always work on the
// file's current content under its lock.
#pragma once

namespace afx {

class RegistrySnapshot {
 public:
  RegistrySnapshot();
  ~RegistrySnapshot();
  RegistrySnapshot(const RegistrySnapshot&) = delete;
  RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

  // Whether a snapshot lives in this thread.
  static bool Active();
  // Whether the store was checked since the outermost snapshot began; the
  // registry sets it after a successful check.
  static bool Checked();
  static void SetChecked();
};

}  // namespace afx
