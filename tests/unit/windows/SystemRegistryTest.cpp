// The Windows registry behind the Reg* calls, under a key of this test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "afx/Registry.h"
#include "afx/System.h"
#include "support/TempDir.h"

namespace {

class SystemRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(afx::GetEnvironment("TALVERN_REGISTRY").empty()) << "a store file would be used instead";
    previous_ = afx::GetRegistryPath();
    afx::SetRegistryPath("");
    base_ = "Software\\talvern-test-" + std::to_string(afx::CurrentProcessId());
    full_ = "HKEY_CURRENT_USER\\" + base_;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_) RegCloseKey(key_);
    DeleteTree(HKEY_CURRENT_USER, base_);
    afx::SetRegistryPath(previous_);
  }
  static void DeleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char child[256];
    DWORD len = sizeof child;
    while (RegEnumKeyEx(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      DeleteTree(key, std::string(child, len));
      len = sizeof child;
    }
    RegCloseKey(key);
    RegDeleteKey(parent, name.c_str());
  }
  LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
  }

  std::string previous_, base_, full_;
  HKEY key_ = nullptr;
};

TEST_F(SystemRegistryTest, ValuesKeepTheirTypesAndSizes) {
  const DWORD number = 115200;
  ASSERT_EQ(SetString(key_, "TurnOffOutputs", "FALSE"), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key_, "MaxBaud", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, "Text", "115200"), ERROR_SUCCESS);
  struct Case {
    const char* name;
    DWORD room;
    LONG rc;
    DWORD type;
    DWORD size;
  } cases[] = {
      {"TurnOffOutputs", 64, ERROR_SUCCESS, REG_SZ, 6},  // the NUL counts
      {"TurnOffOutputs", 3, ERROR_MORE_DATA, REG_SZ, 6},
      {"MaxBaud", 64, ERROR_SUCCESS, REG_DWORD, 4},
      {"Text", 64, ERROR_SUCCESS, REG_SZ, 7},  // a number kept as text is text
      {"Missing", 64, ERROR_FILE_NOT_FOUND, 0, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BYTE data[64] = {};
    DWORD type = 0, size = c.room;
    EXPECT_EQ(RegQueryValueEx(key_, c.name, nullptr, &type, data, &size), c.rc);
    if (c.rc == ERROR_FILE_NOT_FOUND) continue;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
  }
  DWORD read = 0, size = sizeof read, type = 0;
  ASSERT_EQ(RegQueryValueEx(key_, "MaxBaud", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size), ERROR_SUCCESS);
  EXPECT_EQ(read, number);
}

TEST_F(SystemRegistryTest, KeysAreCreatedEnumeratedAndDeletedByTheSystemsRules) {
  HKEY child = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(key_, "Devices\\QZ710", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(child);
  ASSERT_EQ(RegCreateKeyEx(key_, "devices\\qz710", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);  // names are not case-sensitive
  RegCloseKey(child);

  char name[256];
  DWORD len = sizeof name;
  ASSERT_EQ(RegEnumKeyEx(key_, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, len), "Devices");
  len = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key_, 1, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  DWORD subKeys = 0, longest = 0, values = 9;
  ASSERT_EQ(RegQueryInfoKey(key_, &subKeys, &longest, &values), ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(longest, 7u);
  EXPECT_EQ(values, 0u);

  EXPECT_NE(RegDeleteKey(key_, "Devices"), ERROR_SUCCESS);  // it has a subkey
  EXPECT_EQ(RegDeleteKey(key_, "Devices\\QZ710"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(key_, "Devices"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyEx(key_, "Devices", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1234))), ERROR_INVALID_HANDLE);
}

TEST_F(SystemRegistryTest, RegTextGoesInAndComesBackThroughTheSameReaderAndWriter) {
  TempDir dir;
  const std::string in = dir.File("in.reg");
  std::ofstream(in) << "Windows Registry Editor Version 5.00\r\n\r\n"
                    << "[" << full_ << "\\Firmware\\Old]\r\n\"File\"=\"old.timg\"\r\n\r\n"
                    << "[" << full_ << "\\Devices\\QZ710]\r\n\"MaxBaud\"=dword:0001c200\r\n"
                    << "\"TurnOffOutputs\"=\"TRUE\"\r\n\r\n";
  ASSERT_EQ(afx::RegistryImport(in), ERROR_SUCCESS) << afx::RegistryLastError();

  // A second file deletes a key and a value and changes one.
  const std::string change = dir.File("change.reg");
  std::ofstream(change) << "Windows Registry Editor Version 5.00\r\n\r\n"
                        << "[-" << full_ << "\\Firmware\\Old]\r\n\r\n"
                        << "[" << full_ << "\\Devices\\QZ710]\r\n\"MaxBaud\"=-\r\n"
                        << "\"TurnOffOutputs\"=\"FALSE\"\r\n\r\n";
  ASSERT_EQ(afx::RegistryImport(change), ERROR_SUCCESS) << afx::RegistryLastError();

  const std::string out = dir.File("out.reg");
  ASSERT_EQ(afx::RegistryExport(full_, out), ERROR_SUCCESS) << afx::RegistryLastError();
  std::stringstream text;
  text << std::ifstream(out).rdbuf();
  EXPECT_EQ(text.str().find("old.timg"), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find("MaxBaud"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("\"TurnOffOutputs\"=\"FALSE\""), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("[" + full_ + "\\Devices\\QZ710]"), std::string::npos) << text.str();

  // A file that does not parse leaves nothing of itself behind.
  const std::string bad = dir.File("bad.reg");
  std::ofstream(bad) << "Windows Registry Editor Version 5.00\r\n\r\n[" << full_ << "\\Partial]\r\n\"x\"=dword:zz\r\n";
  EXPECT_EQ(afx::RegistryImport(bad), ERROR_BAD_FORMAT);
  HKEY partial = nullptr;
  EXPECT_EQ(RegOpenKeyEx(key_, "Partial", 0, KEY_READ, &partial), ERROR_FILE_NOT_FOUND);
}

TEST_F(SystemRegistryTest, TheStoreExistsWhenItsKeyDoes) {
  EXPECT_TRUE(afx::RegistryStoreExists(full_));
  EXPECT_FALSE(afx::RegistryStoreExists(full_ + "\\Nothing"));
  EXPECT_EQ(afx::RegistryLocation(), "the system's registry");
}

}  // namespace
