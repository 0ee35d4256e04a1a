// While one lives, its thread holds the store's exclusive lock, so that what
// the thread reads and what it then writes are one step for every process
// that shares the store: a COM number found free and then taken, say.
// Changes the thread makes meanwhile join the lock instead of waiting for it;
// those of other threads and processes wait until it ends, so it is held
// only briefly, and never while waiting for another thread that may write.
#pragma once
#include <string>

#include "afx/RegFileLock.h"

namespace afx {

class RegistryLock {
 public:
  // Waits for the lock of the current store; Held() tells whether it was had.
  RegistryLock();
  ~RegistryLock();
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

  bool Held() const { return held_; }
  // Whether this thread holds the lock of the store file `storePath`.
  static bool HeldFor(const std::string& storePath);

 private:
  RegFileLock lock_;
  bool held_ = false;
};

}  // namespace afx
