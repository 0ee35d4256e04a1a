#include "hostlib/HostRegistry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "afx/Registry.h"

namespace {

constexpr char kHostKey[] = "SOFTWARE\\Korvane\\Talvern";

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool MakeDirs(const std::string& path) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string DataFolder() {
  std::string base = Getenv("XDG_DATA_HOME");
  if (base.empty()) base = Getenv("HOME") + "/.local/share";
  return base + "/talvern";
}

}  // namespace

bool PrepareRegistry(const std::string& storePath, std::string* error) {
  if (!storePath.empty()) afx::SetRegistryPath(storePath);
  const std::string path = afx::GetRegistryPath();
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return true;
  // First use: a working setup for a newcomer.
  const std::string data = DataFolder();
  if (!MakeDirs(data + "/Firmware") || !MakeDirs(data + "/Devices")) {
    *error = "cannot create " + data + ": " + std::strerror(errno);
    return false;
  }
  HKEY key = nullptr;
  LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueEx(key, "InstallDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) {
    *error = "cannot create the registry store " + path + ": " + afx::RegistryLastError();
    return false;
  }
  return true;
}

int ReadLastUsedCom() {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG rc = RegQueryValueEx(key, "LastUsedCOM", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || value < 1 || value > 1024) return 0;
  return static_cast<int>(value);
}

bool WriteLastUsedCom(int port) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD value = static_cast<DWORD>(port);
  const LONG rc = RegSetValueEx(key, "LastUsedCOM", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
