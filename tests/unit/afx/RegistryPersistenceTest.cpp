// The store file: created on first write, shared with other processes, never
// overwritten when it does not parse, and exported and imported losslessly.
#include <sys/wait.h>
#include <unistd.h>

#include "unit/afx/RegistryTempStore.h"

namespace {

using RegistryPersistenceTest = RegistryTempStore;
using namespace std::string_literals;

TEST_F(RegistryPersistenceTest, MissingFileIsEmptyAndTheFirstWriteCreatesIt) {
  EXPECT_EQ(afx::GetRegistryPath(), store_);
  HKEY key = nullptr;
  EXPECT_EQ(afx::RegOpenKeyPath("HKLM\\SOFTWARE", KEY_READ, &key, false), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(store_));
  key = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  ASSERT_EQ(SetString(key, "InstallDirectory", "C:\\Talvern"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "LastUsedCOM", 3), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(ReadFile(store_),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern]\n"
            "\"InstallDirectory\"=\"C:\\\\Talvern\"\n"
            "\"LastUsedCOM\"=dword:00000003\n"
            "\n");
  EXPECT_TRUE(std::filesystem::exists(store_ + ".lock"));
}

TEST_F(RegistryPersistenceTest, AFileThatDoesNotParseIsNeverOverwritten) {
  const std::string bad =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:xyz\n";
  WriteFile(store_, bad);
  const std::string expected = store_ + " line 4: expected a hex digit but found 'xyz'";
  HKEY key = nullptr;
  EXPECT_EQ(afx::RegOpenKeyPath("HKLM\\A", KEY_ALL_ACCESS, &key, false), ERROR_BADDB);
  EXPECT_EQ(afx::RegistryLastError(), expected);
  EXPECT_EQ(afx::RegOpenKeyPath("HKLM\\B", KEY_ALL_ACCESS, &key, true), ERROR_BADDB);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "V", "x"), ERROR_BADDB);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "A"), ERROR_BADDB);
  EXPECT_EQ(afx::RegistryExport("HKLM", dir_ + "/out.reg"), ERROR_BADDB);
  EXPECT_EQ(afx::RegistryLastError(), expected);
  EXPECT_EQ(ReadFile(store_), bad);

  // Once someone repairs it, work goes on without a restart.
  WriteFile(store_, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:1\n");
  key = Open("HKLM\\A");
  EXPECT_EQ(Get(key, "V").data, "\x01\0\0\0"s);
  RegCloseKey(key);
}

TEST_F(RegistryPersistenceTest, ChangesByOthersAreSeenByOpenHandles) {
  HKEY key = Open("HKLM\\Shared\\Key");
  ASSERT_EQ(SetString(key, "V", "mine"), ERROR_SUCCESS);
  HKEY parent = Open("HKLM\\Shared", KEY_READ, false);
  // Another process rewrites the file.
  WriteFile(store_,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Shared\\Key]\n"
            "\"V\"=\"theirs\"\n[HKEY_LOCAL_MACHINE\\Shared\\Other]\n");
  EXPECT_EQ(Get(key, "V").data, "theirs\0"s);
  EXPECT_EQ(Subkeys(parent), (std::vector<std::string>{"Key", "Other"}));
  WriteFile(store_, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Shared]\n");
  EXPECT_EQ(Get(key, "V").rc, ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(key, "V", "again"), ERROR_KEY_DELETED);
  RegCloseKey(key);
  RegCloseKey(parent);
}

TEST_F(RegistryPersistenceTest, ConcurrentProcessesLoseNoWrite) {
  constexpr int kPerChild = 200;
  RegCloseKey(Open("HKLM\\Race"));
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      HKEY key = nullptr;
      int failures = afx::RegOpenKeyPath("HKLM\\Race", KEY_ALL_ACCESS, &key, false) != ERROR_SUCCESS;
      for (int i = 0; i < kPerChild && !failures; ++i) {
        std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
        failures += SetDword(key, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS;
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HKEY key = Open("HKLM\\Race", KEY_READ, false);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &values), ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kPerChild);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kPerChild; i += 37) {
      std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
      Read got = Get(key, name.c_str());
      EXPECT_EQ(got.type, REG_DWORD) << name;
      EXPECT_EQ(got.data, std::string(reinterpret_cast<const char*>(&i), 4)) << name;
    }
  }
  RegCloseKey(key);
}

TEST_F(RegistryPersistenceTest, ExportThenImportGivesTheSameTree) {
  HKEY talvern = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  ASSERT_EQ(SetString(talvern, nullptr, "default \"quoted\" C:\\dir\\"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(talvern, "Empty", ""), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(talvern, "LastUsedCOM", 0xDEADBEEF), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(RegSetValueEx(talvern, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  HKEY device = Open("HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710");
  ASSERT_EQ(SetString(device, "TurnOffOutputs", "TRUE"), ERROR_SUCCESS);
  RegCloseKey(Open("HKLM\\SOFTWARE\\Korvane\\Talvern\\Firmware"));
  RegCloseKey(Open("HKLM\\SOFTWARE\\Other"));  // outside the exported key
  RegCloseKey(device);
  RegCloseKey(talvern);

  const std::string first = dir_ + "/first.reg", second = dir_ + "/second.reg";
  ASSERT_EQ(afx::RegistryExport("HKLM\\software\\korvane\\TALVERN", first), ERROR_SUCCESS);
  afx::SetRegistryPath(dir_ + "/other/registry.reg");
  ASSERT_EQ(afx::RegistryImport(first), ERROR_SUCCESS);
  ASSERT_EQ(afx::RegistryExport("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern", second), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(second), ReadFile(first));
  EXPECT_EQ(ReadFile(first).rfind("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern]\n", 0), 0u);

  HKEY software = Open("HKLM\\SOFTWARE", KEY_READ, false);
  EXPECT_EQ(Subkeys(software), std::vector<std::string>{"Korvane"});
  RegCloseKey(software);
  talvern = Open("HKLM\\SOFTWARE\\Korvane\\Talvern", KEY_READ, false);
  EXPECT_EQ(Get(talvern, nullptr).data, "default \"quoted\" C:\\dir\\\0"s);
  EXPECT_EQ(Get(talvern, "Empty").data, "\0"s);
  EXPECT_EQ(Get(talvern, "LastUsedCOM").data, "\xEF\xBE\xAD\xDE"s);
  EXPECT_EQ(Subkeys(talvern), (std::vector<std::string>{"Devices", "Firmware"}));
  RegCloseKey(talvern);
}

TEST_F(RegistryPersistenceTest, ImportMergesAndAFaultyFileChangesNothing) {
  HKEY key = Open("HKLM\\App");
  ASSERT_EQ(SetString(key, "Keep", "1"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "Drop", "1"), ERROR_SUCCESS);
  RegCloseKey(Open("HKLM\\App\\Old\\Sub"));
  const std::string merge = dir_ + "/merge.reg";
  WriteFile(merge,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\App]\n\"Drop\"=-\n"
            "\"New\"=dword:00000005\n[-HKEY_LOCAL_MACHINE\\App\\Old]\n");
  ASSERT_EQ(afx::RegistryImport(merge), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "Keep").data, "1\0"s);
  EXPECT_EQ(Get(key, "Drop").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get(key, "New").type, REG_DWORD);
  EXPECT_EQ(Subkeys(key), std::vector<std::string>{});

  const std::string saved = ReadFile(store_);
  const std::string faulty = dir_ + "/faulty.reg";
  WriteFile(faulty, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\App]\n\"Keep\"=-\n\"Bad\"=hex:1,2,\n");
  EXPECT_EQ(afx::RegistryImport(faulty), ERROR_BAD_FORMAT);
  EXPECT_EQ(afx::RegistryLastError(), faulty + " line 5: expected a hex byte after ',' but found end of line");
  EXPECT_EQ(ReadFile(store_), saved);
  EXPECT_EQ(Get(key, "Keep").data, "1\0"s);
  EXPECT_EQ(afx::RegistryImport(dir_ + "/absent.reg"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryPersistenceTest, DefaultPathFollowsTheEnvironment) {
  struct Row {
    const char* registry;
    const char* config;
    const char* home;
    std::string path;
  } rows[] = {
      {"/x/reg.reg", "/cfg", "/home/u", "/x/reg.reg"},
      {"", "/cfg", "/home/u", "/cfg/talvern/registry.reg"},
      {nullptr, "relative", "/home/u", "/home/u/.config/talvern/registry.reg"},
      {nullptr, nullptr, "/home/u", "/home/u/.config/talvern/registry.reg"},
  };
  const char* names[] = {"TALVERN_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::pair<std::string, bool>> saved;
  for (const char* name : names) {
    const char* v = getenv(name);
    saved.emplace_back(v ? v : "", v != nullptr);
  }
  for (const auto& row : rows) {
    const char* values[] = {row.registry, row.config, row.home};
    for (int i = 0; i < 3; ++i) {
      if (values[i])
        setenv(names[i], values[i], 1);
      else
        unsetenv(names[i]);
    }
    EXPECT_EQ(afx::DefaultRegistryPath(), row.path);
  }
  for (int i = 0; i < 3; ++i) {
    if (saved[static_cast<size_t>(i)].second)
      setenv(names[i], saved[static_cast<size_t>(i)].first.c_str(), 1);
    else
      unsetenv(names[i]);
  }
}

}  // namespace
