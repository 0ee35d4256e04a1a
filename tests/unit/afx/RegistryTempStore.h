// A fixture that points the registry at a store file in a fresh temporary
// folder, plus terse helpers over the Win32-shaped calls.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "afx/Registry.h"

class RegistryTempStore : public testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed when the system has it: every save syncs to disk, and the
    // tests save hundreds of times.
    std::random_device random;
    for (const std::filesystem::path& base : {std::filesystem::path("/dev/shm"), std::filesystem::temp_directory_path()}) {
      char name[32];
      std::snprintf(name, sizeof name, "regtest.%08x", static_cast<unsigned>(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(base / name, ec)) {
        dir_ = (base / name).string();
        break;
      }
    }
    ASSERT_FALSE(dir_.empty());
    // The folder below does not exist yet: the first write must create it.
    store_ = (std::filesystem::path(dir_) / "config" / "registry.reg").string();
    afx::SetRegistryPath(store_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static HKEY Open(const std::string& path, REGSAM sam = KEY_ALL_ACCESS, bool create = true) {
    HKEY key = nullptr;
    EXPECT_EQ(afx::RegOpenKeyPath(path, sam, &key, create), ERROR_SUCCESS) << path;
    return key;
  }
  static LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
  }
  static LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
  }
  struct Read {
    LONG rc;
    DWORD type;
    std::string data;  // as stored, a string's NUL included
  };
  static Read Get(HKEY key, const char* name) {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueEx(key, name, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return {rc, 0, ""};
    std::string data(size, '\0');
    rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    return {rc, type, data};
  }
  static std::vector<std::string> Subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD len = sizeof name;
      if (RegEnumKeyEx(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.emplace_back(name, len);
    }
    return names;
  }
  static std::string ReadFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }
  static void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string dir_;
  std::string store_;
};
