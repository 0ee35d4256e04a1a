// The firmware selection page and the update operation's monitor-image guard.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "afx/File.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "firmware/AddFirmwareDlg.h"
#include "firmware/FirmwareEntryManager.h"
#include "operations/UpdateOperation.h"
#include "plugin/GarnexApp.h"
#include "support/FirmwareImages.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

testsupport::Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return testsupport::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UpdatePageTest : public ::testing::Test {
 protected:
  UpdatePageTest() : state_(AfxGetStaticModuleState()), keepUi_(ui_) {
    afx::SetRegistryPath(dir_.File("registry.reg"));
    for (const char* key : {"SOFTWARE\\Korvane\\Talvern\\Firmware", "SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710"}) {
      HKEY h = nullptr;
      EXPECT_EQ(afx::RegOpenKeyPath(std::string("HKEY_LOCAL_MACHINE\\") + key, KEY_ALL_ACCESS, &h, true),
                ERROR_SUCCESS);
      RegCloseKey(h);
    }
    sheet_.AddPage(&page_);
  }

  // Registers a file whose modification time is `age` seconds before a moment
  // a day ago (every system's file times reach that far).
  std::string Register(const char* key, int age) {
    const std::string path = dir_.Write(std::string(key) + ".timg", std::string("image"));
    fs::last_write_time(path, moment_ - std::chrono::seconds(age));
    FirmwareEntryManager catalogue;
    DWORD error = 0;
    EXPECT_TRUE(catalogue.AddFirmwareEntry(FirmwareEntry(key, "QZ710", path.c_str(), key, 0), error));
    return path;
  }

  std::string TurnOffOutputsValue() {
    HKEY key = nullptr;
    RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710", 0, KEY_READ, &key);
    char value[16] = {};
    DWORD size = sizeof value - 1, type = 0;
    const LONG rc = RegQueryValueEx(key, "TurnOffOutputs", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? value : "<none>";
  }

  AFX_MAINTAIN_STATE state_;
  const fs::file_time_type moment_ = fs::file_time_type::clock::now() - std::chrono::hours(24);
  testsupport::TempDir dir_;
  ScriptedUi ui_;
  ScopedUi keepUi_;
  CUpdatePage page_{210, 132};
  CPropertySheet sheet_;
};

TEST_F(UpdatePageTest, NewestFileIsPreselectedAndTiesGoToTheLaterEntry) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> files;  // key, age in seconds
    int want;
  };
  const Case cases[] = {
      {"newest in the middle", {{"A", 50}, {"B", 10}, {"C", 30}}, 1},
      {"tie", {{"A", 10}, {"B", 10}, {"C", 40}}, 1},
      {"only one", {{"A", 5}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareEntryManager clear;
    clear.RetrieveFirmwareFiles(nullptr, "");
    DWORD error = 0;
    for (int i = clear.GetCount() - 1; i >= 0; --i) clear.RemoveFirmwareEntry(clear.GetAt(i)->GetKeyName().c_str(), error);
    for (const auto& [key, age] : c.files) Register(key, age);
    ASSERT_TRUE(sheet_.ActivatePage(0));
    EXPECT_EQ(page_.GetSelection(), c.want);
    EXPECT_EQ(page_.FindControl(CUpdatePage::IDC_LIST)->items.size(), c.files.size());
    EXPECT_EQ(page_.FindControl(CUpdatePage::IDC_LIST)->selection, c.want);
    EXPECT_STREQ(page_.GetSelectedDescription(), c.files[static_cast<size_t>(c.want)].first);
    EXPECT_TRUE(page_.FindControl(CUpdatePage::IDC_TURN_OFF_OUTPUTS)->visible);
  }
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(UpdatePageTest, NextChecksTheSelectionAndAlwaysStoresTheOutputsChoice) {
  struct Case {
    const char* name;
    bool deleteFile;
    int selection;
    int check;
    BOOL wantMove;
    UINT wantMessage;  // 0: none
    const char* wantStored;
  };
  const Case cases[] = {
      {"valid", false, 0, BST_CHECKED, TRUE, 0, "TRUE"},
      {"no selection", false, -1, BST_UNCHECKED, FALSE, 118, "FALSE"},
      {"file gone", true, 0, BST_CHECKED, FALSE, 1203, "TRUE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    const std::string path = Register("A", 1);
    ASSERT_TRUE(sheet_.ActivatePage(0));
    if (c.deleteFile) fs::remove(path);
    page_.FindControl(CUpdatePage::IDC_LIST)->selection = c.selection;
    page_.FindControl(CUpdatePage::IDC_TURN_OFF_OUTPUTS)->check = c.check;
    EXPECT_EQ(sheet_.NextFrom(0), c.wantMove);
    if (c.wantMessage == 0) {
      EXPECT_TRUE(ui_.boxes.empty());
    } else {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      const std::string expected = c.wantMessage == 118 ? AfxLoadString(118) : "File failure! [853]";
      EXPECT_EQ(ui_.boxes[0].text.substr(0, expected.size()), expected);
    }
    EXPECT_EQ(TurnOffOutputsValue(), c.wantStored);
  }
}

TEST_F(UpdatePageTest, DeleteUnregistersAfterAskingAndDoubleClickPressesNext) {
  const std::string path = Register("A", 1);
  ASSERT_TRUE(sheet_.ActivatePage(0));
  page_.FindControl(CUpdatePage::IDC_LIST)->selection = -1;
  page_.SendVKeyToItem(CUpdatePage::kVkDelete, CUpdatePage::IDC_LIST, 0);
  EXPECT_TRUE(ui_.boxes.empty());
  page_.FindControl(CUpdatePage::IDC_LIST)->selection = 0;
  ui_.answers = {IDYES};
  page_.SendVKeyToItem(CUpdatePage::kVkDelete, CUpdatePage::IDC_LIST, 0);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(page_.FindControl(CUpdatePage::IDC_LIST)->items.empty());

  page_.SendCommand(CUpdatePage::IDC_LIST, LBN_DBLCLK);
  EXPECT_EQ(sheet_.TakePressedButton(), PSBTN_NEXT);
}

// Insert registers a file under the firmware folder: one from elsewhere is
// copied there first, one that already lies there (however it is spelt) is
// registered as it is, never emptied by a copy onto itself.
TEST_F(UpdatePageTest, InsertRegistersTheFileInTheFirmwareFolder) {
  const std::string folder = fs::canonical(dir_.Path()).string();
  HKEY host = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Talvern", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &host, nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(host, "InstallDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(host);
  const std::string registered = (fs::path(folder) / "Firmware" / "fw.timg").string();
  const std::string elsewhere = (fs::path(folder) / "elsewhere" / "fw.timg").string();
  const testsupport::Bytes image = testsupport::TimgImage({});
  const struct {
    const char* name;
    std::string chosen;
    bool inFolder;  // the chosen file is the one in the firmware folder
    bool folderGone;
  } cases[] = {
      {"in the folder", registered, true, false},
      {"in the folder, spelt another way", folder + "/Firmware/./fw.timg", true, false},
      {"elsewhere", elsewhere, false, false},
      {"elsewhere, no firmware folder", elsewhere, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareEntryManager catalogue;
    catalogue.RetrieveFirmwareFiles(nullptr, "");
    DWORD error = 0;
    for (int i = catalogue.GetCount() - 1; i >= 0; --i)
      catalogue.RemoveFirmwareEntry(catalogue.GetAt(i)->GetKeyName().c_str(), error);
    fs::remove_all(folder + "/Firmware");
    fs::remove_all(folder + "/elsewhere");
    if (!c.folderGone) fs::create_directory(folder + "/Firmware");
    fs::create_directory(folder + "/elsewhere");
    dir_.Write(c.inFolder ? "Firmware/fw.timg" : "elsewhere/fw.timg", image);

    ui_.boxes.clear();
    ui_.onDialog = [&c](CDialog& d) {
      d.SetDlgItemText(CAddFirmwareDlg::IDC_DESCRIPTION, "Fw");
      d.SetDlgItemText(CAddFirmwareDlg::IDC_PATH, c.chosen.c_str());
    };
    ASSERT_TRUE(sheet_.ActivatePage(0));
    page_.SendVKeyToItem(CUpdatePage::kVkInsert, CUpdatePage::IDC_LIST, 0);
    ui_.onDialog = nullptr;

    catalogue.RetrieveFirmwareFiles(nullptr, "");
    if (c.folderGone) {
      ASSERT_EQ(ui_.boxes.size(), 1u);
      // Every path in it is spelt with the system's own separator.
      EXPECT_EQ(ui_.boxes[0].text.find(CFile::Separator() == '/' ? '\\' : '/'), std::string::npos) << ui_.boxes[0].text;
      EXPECT_NE(ui_.boxes[0].text.find(registered), std::string::npos) << ui_.boxes[0].text;
      EXPECT_EQ(catalogue.GetCount(), 0);
      continue;
    }
    EXPECT_TRUE(ui_.boxes.empty());
    ASSERT_EQ(catalogue.GetCount(), 1);
    EXPECT_EQ(catalogue.GetAt(0)->GetFirmwarePath(), registered);
    EXPECT_EQ(ReadBytes(registered), image);
    if (!c.inFolder) {
      EXPECT_EQ(ReadBytes(folder + "/elsewhere/fw.timg"), image);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/Firmware"), fs::directory_iterator()), 1);
  }
}

TEST(MonitorImageGuardTest, OnlyTheReceiversOwnMonitorByTheHexRouteIsRefused) {
  struct Case {
    const char* path;
    const char* stem;
    bool want;
  };
  const Case cases[] = {
      {"C:\\fw\\kelvor_mon_v2.hex", "kelvor_mon", true},
      {"C:\\fw\\KELVOR_MON.SrEc", "kelvor_mon", true},
      {"C:\\fw\\kelvor_mon.timg", "kelvor_mon", false},
      {"C:\\kelvor_mon\\app.hex", "kelvor_mon", false},
      {"kelvor_mon.hex", "kelvor_mon", true},
      {"C:\\fw\\kelv.hex", "kelv", false},
      {"C:\\fw\\anything.hex", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(CUpdateOperation::IsMonitorImagePath(c.path, c.stem), c.want);
  }
  EXPECT_EQ(CUpdateOperation::MonitorStem(100, 1, "QZ790"), "kelvor_mon");
  EXPECT_EQ(CUpdateOperation::MonitorStem(0xFF, 1, "QZ790"), "nestir_mon");
  EXPECT_EQ(CUpdateOperation::MonitorStem(0xFFFF, 0, "QZ7"), "");
  EXPECT_NE(CUpdateOperation::MonitorStem(0x35, 1, ""), CUpdateOperation::MonitorStem(0x35, 0, ""));
}

}  // namespace
