// An advisory lock (flock) on a lock file, held for the lifetime of the object.
#pragma once
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
  int fd_ = -1;
};

}  // namespace afx
