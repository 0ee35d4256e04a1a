#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "afx/System.h"

namespace afx {

bool LocalCalendarTime(std::time_t seconds, std::tm* out) { return ::localtime_s(out, &seconds) == 0; }
bool UtcCalendarTime(std::time_t seconds, std::tm* out) { return ::gmtime_s(out, &seconds) == 0; }

std::string RealPath(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full || ::GetFileAttributesA(full) == INVALID_FILE_ATTRIBUTES) return "";
  return std::string(full, n);
}

std::string GetEnvironment(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string UserConfigFolder() { return GetEnvironment("APPDATA"); }

std::string UserDataFolder() {
  const std::string local = GetEnvironment("LOCALAPPDATA");
  return local.empty() ? GetEnvironment("APPDATA") : local;
}

bool CreateFolders(const std::string& path, int* err) {
  // Either separator; a drive ("C:") or a share's first parts are not made.
  for (size_t pos = 0; pos != std::string::npos;) {
    pos = path.find_first_of("\\/", pos + 1);
    const std::string partial = path.substr(0, pos);
    if (partial.empty() || partial.back() == ':' || partial == "\\\\") continue;
    if (::_mkdir(partial.c_str()) != 0 && errno != EEXIST && errno != EACCES) {
      if (err) *err = errno;
      return false;
    }
  }
  if (!PathExists(path)) {
    if (err) *err = ENOENT;
    return false;
  }
  return true;
}

bool PathExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsCharacterDevice(const std::string& path, int* err) {
  *err = 0;
  // "\\.\COM3": a name in the system's device name space.
  if (path.rfind("\\\\.\\", 0) == 0) {
    char target[1024];
    if (::QueryDosDeviceA(path.substr(4).c_str(), target, sizeof target)) return true;
    *err = ENOENT;
    return false;
  }
  if (!PathExists(path)) *err = ENOENT;
  return false;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

long CurrentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

bool ProcessExists(long pid) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

std::string ExecutablePath() {
  char self[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
  return n > 0 && n < sizeof self ? std::string(self, n) : std::string();
}

bool IsTerminal(std::FILE* stream) {
  // The NUL device passes _isatty too; only a console has a console mode.
  if (!stream || !::_isatty(::_fileno(stream))) return false;
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  if (!::GetConsoleMode(console, &mode)) return false;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(console, &info)) return true;  // the console's input
  // What is drawn in place needs the escape sequences (Windows 10 and later);
  // an older console gets plain lines.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size) {
  return ::_read(::_fileno(stream), buffer, static_cast<unsigned>(size < 0x40000000 ? size : 0x40000000));
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!stream) return 0;
  const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  if (!::GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace afx
