// The clone-file page: its registry values, the dependent check boxes and Browse.
#include <gtest/gtest.h>

#include "afx/PropertySheet.h"
#include "operations/LSUploadCloneFilePage.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedUi.h"
#include "support/TestRegistry.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710";
using Page = CLSUploadCloneFilePage;

struct CloneFilePage : ::testing::Test {
  test::PluginStrings strings;
  testsupport::TestRegistry registry;
  ScriptedUi ui;
  ScopedUi scoped{ui};
  CPropertySheet sheet;
  Page page;

  void SetUp() override { sheet.AddPage(&page); }
  bool Enabled(int id) { return page.FindControl(id)->enabled; }
};

TEST_F(CloneFilePage, ShowsTheStoredChoices) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> values;
    const char* path;
    int install, reset, ip, wifi;
  };
  const Case cases[] = {
      {"no key", {}, "", 0, 0, 0, 0},
      {"all set",
       {{"UploadCloneFileName", "/data/base.xml"}, {"InstallCloneFile", "TRUE"}, {"InstallCloneFile_Reset", "TRUE"},
        {"InstallCloneFile_IP", "TRUE"}, {"InstallCloneFile_WiFi", "TRUE"}},
       "/data/base.xml", 1, 1, 1, 1},
      // Only the exact text "TRUE" counts.
      {"other spellings",
       {{"InstallCloneFile", "true"}, {"InstallCloneFile_Reset", "TRUE "}, {"InstallCloneFile_IP", "1"}},
       "", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TestRegistry own;
    for (const auto& [name, value] : c.values) ASSERT_TRUE(testsupport::TestRegistry::SetString(kKey, name, value));
    Page fresh;
    CPropertySheet s;
    s.AddPage(&fresh);
    ASSERT_TRUE(s.ActivatePage(0));
    const auto check = [&](int id) { return fresh.FindControl(id)->check; };
    EXPECT_EQ(fresh.FindControl(Page::IDC_PATH)->text, c.path);
    EXPECT_EQ(std::make_tuple(check(Page::IDC_INSTALL), check(Page::IDC_RESET), check(Page::IDC_INSTALL_IP),
                              check(Page::IDC_INSTALL_WIFI)),
              std::make_tuple(c.install, c.reset, c.ip, c.wifi));
    for (const int id : {Page::IDC_RESET, Page::IDC_INSTALL_IP, Page::IDC_INSTALL_WIFI})
      EXPECT_EQ(fresh.FindControl(id)->enabled, c.install == 1) << id;
    EXPECT_EQ(s.WizardButtons(), PSWIZB_BACK | PSWIZB_NEXT);
  }
}

TEST_F(CloneFilePage, InstallBoxEnablesTheOthersKeepsTheirMarksAndLeavingStoresThemAsShown) {
  ASSERT_TRUE(sheet.ActivatePage(0));
  page.FindControl(Page::IDC_INSTALL_IP)->check = BST_CHECKED;
  EXPECT_FALSE(Enabled(Page::IDC_INSTALL_IP));
  page.FindControl(Page::IDC_INSTALL)->check = BST_CHECKED;
  page.SendCommand(Page::IDC_INSTALL, BN_CLICKED);
  EXPECT_TRUE(Enabled(Page::IDC_RESET) && Enabled(Page::IDC_INSTALL_IP) && Enabled(Page::IDC_INSTALL_WIFI));
  page.FindControl(Page::IDC_INSTALL)->check = BST_UNCHECKED;
  page.SendCommand(Page::IDC_INSTALL, BN_CLICKED);
  EXPECT_FALSE(Enabled(Page::IDC_RESET) || Enabled(Page::IDC_INSTALL_IP) || Enabled(Page::IDC_INSTALL_WIFI));
  EXPECT_EQ(page.FindControl(Page::IDC_INSTALL_IP)->check, BST_CHECKED);

  // Leaving stores all five values as shown, the disabled boxes too.
  ASSERT_TRUE(testsupport::TestRegistry::SetString(kKey, "MaxBaud", "115200"));
  page.FindControl(Page::IDC_PATH)->text = "/tmp/site.xml";
  page.FindControl(Page::IDC_RESET)->check = BST_CHECKED;
  page.FindControl(Page::IDC_INSTALL_IP)->check = BST_UNCHECKED;
  ASSERT_TRUE(sheet.NextFrom(0));
  std::string stored;
  for (const char* name : {"UploadCloneFileName", "InstallCloneFile", "InstallCloneFile_Reset", "InstallCloneFile_IP",
                           "InstallCloneFile_WiFi"})
    stored += testsupport::TestRegistry::GetString(kKey, name) + ";";
  EXPECT_EQ(stored, "/tmp/site.xml;FALSE;TRUE;FALSE;FALSE;");
  EXPECT_EQ(page.m_strPath, "/tmp/site.xml");
  EXPECT_EQ(page.m_bReset, TRUE);
}

TEST_F(CloneFilePage, BrowseRetriesOnceWithAnEmptyNameWhenTheNameIsInvalid) {
  struct Case {
    const char* name;
    std::vector<std::pair<DWORD, const char*>> answers;  // per chooser: error, chosen path (nullptr: cancel)
    std::vector<std::string> initialNames;
    const char* result;
  };
  const Case cases[] = {
      {"chosen", {{0, "/x/new"}}, {"/old/name.xml"}, "/x/new.xml"},
      {"cancelled", {{0, nullptr}}, {"/old/name.xml"}, "/old/name.xml"},
      {"invalid name, then chosen", {{FNERR_INVALIDFILENAME, nullptr}, {0, "/y/b.xml"}}, {"/old/name.xml", ""},
       "/y/b.xml"},
      {"invalid name, then cancelled", {{FNERR_INVALIDFILENAME, nullptr}, {FNERR_INVALIDFILENAME, nullptr}},
       {"/old/name.xml", ""}, "/old/name.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sheet.ActivatePage(0));
    page.FindControl(Page::IDC_PATH)->text = "/old/name.xml";
    std::vector<std::string> initial;
    size_t call = 0;
    ui.onFileDialog = [&](CFileDialog& d) {
      EXPECT_TRUE(d.IsOpenDialog());
      EXPECT_EQ(d.DefaultExt(), "xml");
      EXPECT_EQ(d.Filter(), "XML File [*.xml]|*.xml|All Files [*.*]|*.*||");
      initial.push_back(d.InitialName());
      const auto& [error, path] = c.answers.at(call++);
      d.SetExtendedError(error);
      if (!path) return false;
      d.SetPathName(path);
      return true;
    };
    page.SendCommand(Page::IDC_BROWSE, BN_CLICKED);
    EXPECT_EQ(initial, c.initialNames);
    EXPECT_EQ(page.FindControl(Page::IDC_PATH)->text, c.result);
  }
}

}  // namespace
