// The store file: created on first write, shared with other processes, never
// overwritten when it does not parse, and exported and imported losslessly.
#include <sys/wait.h>
#include <unistd.h>

#include "unit/afx/RegistryTempStore.h"

namespace {

using RegistryPersistenceTest = RegistryTempStore;
using namespace std::string_literals;

const BYTE kBlob[] = {0x00, 0x01, 0xFF};

TEST_F(RegistryPersistenceTest, MissingFileIsEmptyAndTheFirstWriteCreatesIt) {
  EXPECT_EQ(afx::GetRegistryPath(), store_);
  HKEY key = nullptr;
  EXPECT_EQ(afx::RegOpenKeyPath("HKLM\\SOFTWARE", KEY_READ, &key, false), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(store_));
  key = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  ASSERT_EQ(SetString(key, "InstallDirectory", "C:\\Talvern"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "LastUsedCOM", 3), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_NE(ReadFile(store_).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern]\n"
                                  "\"InstallDirectory\"=\"C:\\\\Talvern\"\n"
                                  "\"LastUsedCOM\"=dword:00000003\n"),
            std::string::npos);
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

TEST_F(RegistryPersistenceTest, AWriteRemovesTheTempFilesOfWritersThatAreGone) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string gone = std::to_string(child), alive = std::to_string(::getppid());
  const struct {
    std::string name;
    bool kept;
  } rows[] = {
      {"registry.reg.tmp" + gone, false},
      {"registry.reg.tmp" + alive, true},  // a writer that may still save
      {"registry.reg.tmp" + gone + "x", true},
      {"registry.reg.tmp", true},
      {"other.reg.tmp" + gone, true},
  };
  for (const auto& row : rows) WriteFile(dir_ + "/config/" + row.name, "partial");
  HKEY key = Open("HKLM\\A");
  ASSERT_EQ(SetString(key, "V", "x"), ERROR_SUCCESS);
  RegCloseKey(key);
  for (const auto& row : rows) EXPECT_EQ(std::filesystem::exists(dir_ + "/config/" + row.name), row.kept) << row.name;
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
  constexpr DWORD kPerChild = 200;
  RegCloseKey(Open("HKLM\\Race"));
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      HKEY key = Open("HKLM\\Race");
      int failures = 0;
      for (DWORD i = 0; i < kPerChild; ++i)
        failures += SetDword(key, ("c" + std::to_string(c) + "_" + std::to_string(i)).c_str(), i) != ERROR_SUCCESS;
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
  EXPECT_EQ(values, 2 * kPerChild);
  EXPECT_EQ(Get(key, "c0_199").data, "\xC7\0\0\0"s);
  EXPECT_EQ(Get(key, "c1_0").type, REG_DWORD);
  RegCloseKey(key);
}

TEST_F(RegistryPersistenceTest, ExportThenImportGivesTheSameTree) {
  HKEY talvern = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  ASSERT_EQ(SetString(talvern, nullptr, "say \"hi\" C:\\dir\\"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(talvern, "Empty", ""), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(talvern, "LastUsedCOM", 0xDEADBEEF), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(talvern, "Blob", 0, REG_BINARY, kBlob, 3), ERROR_SUCCESS);
  RegCloseKey(talvern);
  RegCloseKey(Open("HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710"));
  RegCloseKey(Open("HKLM\\SOFTWARE\\Other"));  // outside the exported key

  const std::string first = dir_ + "/first.reg", second = dir_ + "/second.reg";
  ASSERT_EQ(afx::RegistryExport("HKLM\\software\\korvane\\TALVERN", first), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(first),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern]\n"
            "@=\"say \\\"hi\\\" C:\\\\dir\\\\\"\n"
            "\"Empty\"=\"\"\n"
            "\"LastUsedCOM\"=dword:deadbeef\n"
            "\"Blob\"=hex:00,01,ff\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern\\Devices]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710]\n\n");
  afx::SetRegistryPath(dir_ + "/other/registry.reg");
  ASSERT_EQ(afx::RegistryImport(first), ERROR_SUCCESS);
  ASSERT_EQ(afx::RegistryExport("HKLM\\SOFTWARE\\Korvane\\Talvern", second), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(second), ReadFile(first));
  EXPECT_EQ(Get(Open("HKLM\\SOFTWARE\\Korvane\\Talvern", KEY_READ, false), "").data,
            "say \"hi\" C:\\dir\\\0"s);
  EXPECT_EQ(afx::RegistryExport("HKLM\\SOFTWARE\\Other", second), ERROR_FILE_NOT_FOUND);
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

}  // namespace
