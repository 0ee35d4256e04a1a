#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "afx/RegFileLock.h"
#include "afx/win/WinCalls.h"

namespace afx {

RegFileLock::~RegFileLock() {
  // Closing the handle releases the lock.
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

int RegFileLock::Acquire(const std::string& path, bool exclusive) {
  if (handle_ != -1) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
  }
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return win::ErrnoFromWin32(::GetLastError());
  OVERLAPPED whole{};
  if (!::LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole)) {
    const int err = win::ErrnoFromWin32(::GetLastError());
    ::CloseHandle(file);
    return err;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return 0;
}

}  // namespace afx
