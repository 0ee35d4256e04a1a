// A lock on a lock file (flock, LockFileEx), held for the lifetime of the object.
#pragma once
#include <cstdint>
#include <string>

namespace afx {

class RegFileLock {
 public:
  RegFileLock() = default;
  RegFileLock(const RegFileLock&) = delete;
  RegFileLock& operator=(const RegFileLock&) = delete;
  ~RegFileLock();

  // Creates the lock file if needed and waits for the lock. Returns 0 or errno.
  int Acquire(const std::string& path, bool exclusive);

 private:
  std::intptr_t handle_ = -1;  // the system's descriptor or handle
};

}  // namespace afx
