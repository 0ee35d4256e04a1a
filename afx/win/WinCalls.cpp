#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

#include "afx/win/WinCalls.h"

namespace afx::win {

namespace {
std::int64_t Ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}
FILETIME FromTicks(std::int64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  return t;
}
}  // namespace

int ErrnoFromWin32(std::uint32_t error) {
  switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_LOCK_VIOLATION: return EAGAIN;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

std::uint32_t LastWin32Error() { return ::GetLastError(); }

std::string SystemMessage(std::uint32_t error) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "error " + std::to_string(error);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

std::string InterruptSemaphoreName(std::uint32_t processId) {
  return "Local\\afx-interrupt-" + std::to_string(processId);
}

bool IdentifyFile(const std::string& path, FileIdentity* identity, int* err) {
  // No access asked for: the attributes alone, and no sharing refused.
  HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *err = ErrnoFromWin32(::GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
  if (!ok) *err = ErrnoFromWin32(::GetLastError());
  ::CloseHandle(file);
  if (!ok) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  identity->modified = Ticks(info.ftLastWriteTime);
  identity->created = Ticks(info.ftCreationTime);
  return true;
}

std::int64_t FileTimeNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

bool SetModifiedTime(const std::string& path, std::int64_t modified) {
  HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const FILETIME t = FromTicks(modified);
  const bool ok = ::SetFileTime(file, nullptr, nullptr, &t) != 0;
  ::CloseHandle(file);
  return ok;
}

bool MoveFileOver(const std::string& from, const std::string& to, bool failIfExists, int* err) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING);
  if (::MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
  *err = ErrnoFromWin32(::GetLastError());
  return false;
}

namespace {
HKEY Key(RegKey key) { return static_cast<HKEY>(key); }
DWORD* Dw(std::uint32_t* p) { return reinterpret_cast<DWORD*>(p); }
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
}  // namespace

RegKey RegRoot(int which) { return which == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

long RegOpen(RegKey parent, const char* subKey, std::uint32_t sam, RegKey* result) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExA(Key(parent), subKey, 0, sam, &key);
  *result = key;
  return rc;
}

long RegCreate(RegKey parent, const char* subKey, std::uint32_t sam, RegKey* result, std::uint32_t* disposition) {
  HKEY key = nullptr;
  const LONG rc = ::RegCreateKeyExA(Key(parent), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &key,
                                    Dw(disposition));
  *result = key;
  return rc;
}

long RegClose(RegKey key) { return ::RegCloseKey(Key(key)); }

long RegQuery(RegKey key, const char* name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  return ::RegQueryValueExA(Key(key), name, nullptr, Dw(type), data, Dw(size));
}

long RegSet(RegKey key, const char* name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(Key(key), name, 0, type, data, size);
}

long RegRemoveValue(RegKey key, const char* name) { return ::RegDeleteValueA(Key(key), name); }

long RegRemoveKey(RegKey key, const char* subKey) { return ::RegDeleteKeyA(Key(key), subKey); }

long RegEnumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) {
  return ::RegEnumKeyExA(Key(key), index, name, Dw(nameLen), nullptr, nullptr, nullptr, nullptr);
}

long RegEnumEntry(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen, std::uint32_t* type,
                  std::uint8_t* data, std::uint32_t* size) {
  return ::RegEnumValueA(Key(key), index, name, Dw(nameLen), nullptr, Dw(type), data, Dw(size));
}

long RegInfo(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen, std::uint32_t* values) {
  return ::RegQueryInfoKeyA(Key(key), nullptr, nullptr, nullptr, Dw(subKeys), Dw(maxSubKeyLen), nullptr, Dw(values),
                            nullptr, nullptr, nullptr, nullptr);
}

}  // namespace afx::win
