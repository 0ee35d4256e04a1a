// A registry store in a temporary folder for the life of a test, with
// helpers to read and write string values of a key below HKEY_LOCAL_MACHINE.
#pragma once
#include <string>
#include <vector>

#include "afx/Registry.h"
#include "support/TempDir.h"

namespace testsupport {

class TestRegistry {
 public:
  TestRegistry() : previous_(afx::GetRegistryPath()) { afx::SetRegistryPath(dir_.File("registry.reg")); }
  ~TestRegistry() { afx::SetRegistryPath(previous_); }
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  const TempDir& Dir() const { return dir_; }

  static bool SetString(const std::string& key, const std::string& name, const std::string& value) {
    HKEY k = nullptr;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
      return false;
    const LONG rc = RegSetValueEx(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
  }
  // The string value, or "<missing>".
  static std::string GetString(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<missing>";
    DWORD type = 0, size = 0;
    std::string out = "<missing>";
    if (RegQueryValueEx(k, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
      std::vector<BYTE> data(size + 1, 0);
      if (RegQueryValueEx(k, name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS)
        out = reinterpret_cast<const char*>(data.data());
    }
    RegCloseKey(k);
    return out;
  }

 private:
  TempDir dir_;
  std::string previous_;
};

}  // namespace testsupport
