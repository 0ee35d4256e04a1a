#include "hostlib/PortHint.h"

#include <dirent.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>

namespace {

std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ModeText(mode_t mode) {
  std::string s = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : "-";
  const char* rwx = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) s += (mode & (0400 >> i)) ? rwx[i] : '-';
  return s;
}

std::string UserName() {
  if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
  return "$USER";
}

bool ProcessInGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int n = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<size_t>(std::max(n, 0)));
  if (n > 0 && ::getgroups(n, groups.data()) == n)
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
  return false;
}

// In the group database, though maybe not in this login's groups yet.
bool UserListedInGroup(const group* g) {
  const std::string user = UserName();
  for (char** m = g->gr_mem; m && *m; ++m)
    if (user == *m) return true;
  return false;
}

std::string PermissionHint(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "";
  const group* g = ::getgrgid(st.st_gid);
  const std::string name = g ? g->gr_name : std::to_string(st.st_gid);
  const std::string about = path + " (" + ModeText(st.st_mode) + ") belongs to group " + name;
  if (ProcessInGroup(st.st_gid))
    return about + ", which you are in, but its mode does not let the group read and write it; ask the "
                   "administrator to fix the device's udev rule";
  if (g && UserListedInGroup(g))
    return about + "; you were added to it after this login began: log out and in again (or run `newgrp " + name + "`)";
  return about + ", which you are not in: `sudo usermod -aG " + name + " " + UserName() +
         "`, then log out and in again";
}

std::string Holders(const std::vector<std::pair<int, std::string>>& holders) {
  std::string s;
  for (const auto& [pid, name] : holders) {
    if (!s.empty()) s += ", ";
    s += (pid == ::getpid() ? std::string("this talvern") : name) + " (pid " + std::to_string(pid) + ")";
  }
  return s;
}

bool IsAcm(const std::string& path) { return RealPath(path).find("/ttyACM") != std::string::npos; }

bool ModemManagerRunning(const std::string& proc) {
  for (const std::string& pid : Entries(proc)) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm;
    std::getline(std::ifstream(proc + "/" + pid + "/comm"), comm);
    if (comm == "ModemManager") return true;
  }
  return false;
}

constexpr char kModemManagerAdvice[] =
    "ModemManager probes every new ttyACM device as a possible modem: stop it (`sudo systemctl stop "
    "ModemManager`) or keep it off the receiver with a udev rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\"";

std::string BusyHint(const std::string& path, const PortHintSystem& system) {
  const auto holders = ProcessesHolding(path, system.proc);
  for (const auto& [pid, name] : holders)
    if (name == "ModemManager") return path + " is held by " + Holders(holders) + ". " + kModemManagerAdvice;
  if (!holders.empty()) return path + " is held by " + Holders(holders) + "; close it there and try again";
  if (IsAcm(path) && ModemManagerRunning(system.proc))
    return path + " is in use, probably by ModemManager. " + std::string(kModemManagerAdvice);
  return path + " is in use by a program this user cannot see; `sudo fuser -v " + path + "` names it";
}

std::string MissingHint(const std::string& path, const PortHintSystem& system) {
  struct stat st {};
  std::string hint = ::stat(path.c_str(), &st) == 0 ? path + " has no device behind it" : "there is no " + path;
  if (path.find("/by-id/") != std::string::npos)
    hint += " (a receiver that is restarting is missing for a few seconds)";
  const auto present = PresentSerialPorts(system.dev);
  if (present.empty()) return hint + "; no USB or on-board serial ports are present: is the receiver connected and powered?";
  hint += "; present:";
  for (const std::string& p : present) hint += " " + p;
  return hint;
}

}  // namespace

std::vector<std::pair<int, std::string>> ProcessesHolding(const std::string& path, const std::string& proc) {
  const std::string target = RealPath(path);
  std::vector<std::pair<int, std::string>> holders;
  for (const std::string& pid : Entries(proc)) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string fdDir = proc + "/" + pid + "/fd";
    for (const std::string& fd : Entries(fdDir)) {
      char link[PATH_MAX];
      const ssize_t n = ::readlink((fdDir + "/" + fd).c_str(), link, sizeof link - 1);
      if (n <= 0 || std::string(link, static_cast<size_t>(n)) != target) continue;
      std::string comm;
      std::getline(std::ifstream(proc + "/" + pid + "/comm"), comm);
      holders.emplace_back(std::atoi(pid.c_str()), comm.empty() ? "?" : comm);
      break;
    }
  }
  return holders;
}

std::vector<std::string> PresentSerialPorts(const std::string& dev) {
  std::vector<std::string> ports;
  std::set<std::string> reached;
  const std::string byId = dev + "/serial/by-id";
  for (const std::string& name : Entries(byId)) {
    ports.push_back(byId + "/" + name);
    reached.insert(RealPath(byId + "/" + name));
  }
  for (const std::string& name : Entries(dev)) {
    if (name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0 && name.rfind("ttyAMA", 0) != 0) continue;
    const std::string path = dev + "/" + name;
    if (!reached.count(RealPath(path))) ports.push_back(path);
  }
  return ports;
}

std::string PortHint(const std::string& path, int err, const PortHintSystem& system) {
  switch (err) {
    case EACCES:
    case EPERM: return PermissionHint(path);
    case EBUSY:
    case EWOULDBLOCK: return BusyHint(path, system);
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: return MissingHint(path, system);
    case ENOTTY: return path + " is not a serial device";
    default: return "";
  }
}
