#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "afx/System.h"

namespace afx {

namespace {
std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "";
}
}  // namespace

bool LocalCalendarTime(std::time_t seconds, std::tm* out) { return ::localtime_r(&seconds, out) != nullptr; }
bool UtcCalendarTime(std::time_t seconds, std::tm* out) { return ::gmtime_r(&seconds, out) != nullptr; }

std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
}

std::string GetEnvironment(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string UserConfigFolder() {
  const std::string config = GetEnvironment("XDG_CONFIG_HOME");
  if (!config.empty() && config[0] == '/') return config;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

std::string UserDataFolder() {
  const std::string data = GetEnvironment("XDG_DATA_HOME");
  return data.empty() ? GetEnvironment("HOME") + "/.local/share" : data;
}

bool CreateFolders(const std::string& path, int* err) {
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      if (err) *err = errno;
      return false;
    }
  }
  return true;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsCharacterDevice(const std::string& path, int* err) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *err = errno;
    return false;
  }
  *err = 0;
  return S_ISCHR(st.st_mode);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessExists(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

std::string ExecutablePath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

bool IsTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) == 1; }

long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(::fileno(stream), buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  return stream && ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace afx
