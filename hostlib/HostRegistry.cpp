#include "hostlib/HostRegistry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "afx/File.h"
#include "afx/Registry.h"
#include "afx/System.h"

namespace {

constexpr char kHostKey[] = "SOFTWARE\\Korvane\\Talvern";

// The device key's values as the plug-in reads them when nothing was ever
// chosen: outputs left on, the fastest speed it offers, no clone file yet.
struct RegValue {
  const char* name;
  DWORD type;
  const char* text;
  DWORD number;
};
constexpr RegValue kDeviceDefaults[] = {
    {"TurnOffOutputs", REG_SZ, "FALSE", 0},
    {"MaxBaud", REG_DWORD, nullptr, 115200},
    {"UploadCloneFileName", REG_SZ, "", 0},
    {"InstallCloneFile", REG_SZ, "FALSE", 0},
    {"InstallCloneFile_Reset", REG_SZ, "FALSE", 0},
    {"InstallCloneFile_IP", REG_SZ, "FALSE", 0},
    {"InstallCloneFile_WiFi", REG_SZ, "FALSE", 0},
};

LONG SetString(HKEY key, const char* name, const std::string& value) {
  return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
}

// Creates `path` below the host key, with `values`; the first failure's code.
LONG CreateKey(const std::string& path, const RegValue* values, size_t count) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  for (size_t i = 0; rc == ERROR_SUCCESS && i < count; ++i) {
    const RegValue& v = values[i];
    rc = v.type == REG_SZ ? SetString(key, v.name, v.text)
                          : RegSetValueEx(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number),
                                          sizeof v.number);
  }
  if (key) RegCloseKey(key);
  return rc;
}

std::string DataFolder() { return CFile::JoinPath(afx::UserDataFolder().c_str(), "talvern"); }

}  // namespace

bool PrepareRegistry(const std::string& storePath, std::string* error) {
  if (!storePath.empty()) afx::SetRegistryPath(storePath);
  if (afx::RegistryStoreExists(std::string("HKEY_LOCAL_MACHINE\\") + kHostKey)) return true;
  // First use: a working setup for a newcomer.
  const std::string data = DataFolder();
  int err = 0;
  if (!afx::CreateFolders(CFile::JoinPath(data.c_str(), "Firmware"), &err) ||
      !afx::CreateFolders(CFile::JoinPath(data.c_str(), "Devices"), &err)) {
    *error = "cannot create " + data + ": " + std::strerror(err);
    return false;
  }
  const std::string host = kHostKey;
  const RegValue install[] = {{"InstallDirectory", REG_SZ, data.c_str(), 0}};
  LONG rc = CreateKey(host, install, 1);
  if (rc == ERROR_SUCCESS) rc = CreateKey(host + "\\Firmware", nullptr, 0);
  if (rc == ERROR_SUCCESS) rc = CreateKey(host + "\\Devices\\QZ710", kDeviceDefaults, std::size(kDeviceDefaults));
  if (rc != ERROR_SUCCESS) {
    *error = "cannot create the registry store " + afx::RegistryLocation() + ": " + afx::RegistryLastError();
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

void RestoreLastUsedCom(int port) {
  if (port) {
    WriteLastUsedCom(port);
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValue(key, "LastUsedCOM");
  RegCloseKey(key);
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
