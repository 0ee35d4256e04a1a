// LastUsedCOM is the port the plug-in's pages talk to, and every talvern that
// shares the registry store writes it: a run on several ports starts one per
// port. While one holds this lock, no other run sets LastUsedCOM and shows
// pages, so the pages of each run find their own receiver. Held from when a
// run sets LastUsedCOM until its pages are done, and while a run puts it back.
#pragma once
#include "afx/RegFileLock.h"

class LastUsedComLock {
 public:
  // Waits for the lock of the current registry store.
  LastUsedComLock();
  LastUsedComLock(const LastUsedComLock&) = delete;
  LastUsedComLock& operator=(const LastUsedComLock&) = delete;

 private:
  afx::RegFileLock lock_;
};
