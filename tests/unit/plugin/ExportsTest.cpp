// The ten exports of the built library, loaded as the host loads it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "afx/Library.h"
#include "afx/Registry.h"
#include "afx/Window.h"
#include "plugin/Exports.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using testsupport::TempDir;

namespace {

class LoadedPlugin {
 public:
  explicit LoadedPlugin(bool ctrlAlt, const std::string& path = QZ_BIN_DIR "/" QZ_PLUGIN_FILE) {
    ui_.ctrlAlt = ctrlAlt;
    previous_ = afx::SetUi(&ui_);
    std::string error;
    library_ = afx::Library::Load(path, &error);
    if (!library_) ADD_FAILURE() << error;
  }
  ~LoadedPlugin() {
    library_.reset();
    afx::SetUi(previous_);
  }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(library_ ? library_->Symbol(name) : nullptr);
  }
  ScriptedUi& Ui() { return ui_; }

 private:
  ScriptedUi ui_;
  afx::UiPresenter* previous_;
  std::unique_ptr<afx::Library> library_;
};

class ExportsTest : public testing::Test {
 protected:
  void SetUp() override { afx::SetRegistryPath(dir_.File("registry.reg")); }
  TempDir dir_;
};
}  // namespace

TEST_F(ExportsTest, InvalidIndicesKindsAndPages) {
  LoadedPlugin plugin(false);
  auto desc = plugin.Get<PFN_GetDescription>("GetDescription");
  auto pages = plugin.Get<PFN_GetNumberOfPages>("GetNumberOfPages");
  auto page = plugin.Get<PFN_GetPage>("GetPage");
  auto text = plugin.Get<PFN_GetText>("GetText");
  char buffer[256];
  for (int index : {-1, 9, 1000}) {
    std::strcpy(buffer, "keep");
    EXPECT_EQ(desc(index, buffer, sizeof buffer), 0);
    EXPECT_EQ(pages(index), 0);
    EXPECT_EQ(page(index, 0), nullptr);
    EXPECT_EQ(text(index, TEXT_SUMMARY, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "keep");
  }
  for (int kind : {-1, 4}) {
    std::strcpy(buffer, "keep");
    EXPECT_EQ(text(7, kind, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "keep");
  }
  const int n = pages(7);
  EXPECT_EQ(page(7, -1), nullptr);
  EXPECT_EQ(page(7, n), nullptr);
}

TEST_F(ExportsTest, TextsFixedAnswersAndCopiesThatLeaveBuffersUnterminated) {
  LoadedPlugin plugin(false);
  auto desc = plugin.Get<PFN_GetDescription>("GetDescription");
  auto name = plugin.Get<PFN_GetOperation>("GetOperation");
  auto text = plugin.Get<PFN_GetText>("GetText");
  struct Case {
    int index;
    int kind;  // -1: the description
    const char* want;
  } cases[] = {{7, -1, "Retrieves the software version from the QZ7xx."},
               {7, TEXT_SUMMARY, "Operation to perform:\r\n\tVerify receiver software version"},
               {0, TEXT_CONNECT, "Connect the QZ7xx to COM%d of the PC using the DB9 cable."},
               {5, TEXT_ACTION, "Reset device to factory default"},
               {0, TEXT_SUCCESS, "The ethernet settings were configured successfully!"}};
  char buffer[256];
  for (const Case& c : cases) {
    std::memset(buffer, 0, sizeof buffer);
    const int n = sizeof buffer - 1;
    ASSERT_EQ(c.kind < 0 ? desc(c.index, buffer, n) : text(c.index, c.kind, buffer, n), 1) << c.want;
    EXPECT_STREQ(buffer, c.want);
  }
  EXPECT_EQ(plugin.Get<PFN_PreInitialize>("PreInitialize")(12345), 1);
  EXPECT_EQ(plugin.Get<PFN_GetBitmapID>("GetBitmapID")(), 129);
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(plugin.Get<PFN_GetVersionInfo>("GetVersionInfo")(buffer, sizeof buffer - 1), 1);
  EXPECT_STREQ(buffer, "5.00b50");

  // A length shorter than the name: exactly that many bytes, no terminator.
  std::memset(buffer, '#', sizeof buffer);
  ASSERT_EQ(name(3, buffer, 4), 1);
  EXPECT_EQ(std::string(buffer, 6), "Load##");
}

TEST_F(ExportsTest, DoOperationRefusesBadBlocksButStillPostsDone) {
  LoadedPlugin plugin(false);
  auto run = plugin.Get<PFN_DoOperation>("DoOperation");
  struct Case {
    int port;
    int index;
  };
  for (const Case& c : {Case{0, 7}, Case{1025, 7}, Case{1, -1}, Case{1, 9}}) {
    RecordingWindow window;
    afx::Event cancel;
    OperationParams params{c.port, c.index, &window, &cancel};
    EXPECT_EQ(run(&params), 0) << c.port << "/" << c.index;
    EXPECT_EQ(window.PostedDone(), 1);
    EXPECT_TRUE(window.statuses.empty());
  }
  EXPECT_TRUE(plugin.Ui().boxes.empty());
}

// Wherever the plug-in is installed, a failed run's box is headed with its
// version, also below a folder whose path outgrows a file-name buffer.
TEST_F(ExportsTest, AFailedRunShowsOneMessageBoxHeadedWithTheVersion) {
  // COM 1024 leads to a device that does not exist.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char com[] = "COM1024";
  const std::string missing = dir_.File("no-such-device");
  ASSERT_EQ(RegSetValueEx(key, missing.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(com), sizeof com),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::filesystem::path deep = dir_.Path();
  while (deep.string().size() < 300) deep /= std::string(60, 'd');
  std::filesystem::create_directories(deep);
  const std::string farAway = (deep / QZ_PLUGIN_FILE).string();
  std::filesystem::copy_file(QZ_BIN_DIR "/" QZ_PLUGIN_FILE, farAway);

  std::vector<std::string> paths = {QZ_BIN_DIR "/" QZ_PLUGIN_FILE, farAway};
  // A system whose loader takes no path that long has no version to lose there.
  if (std::string ignored; !afx::Library::Load(farAway, &ignored)) paths.pop_back();
  for (const std::string& path : paths) {
    SCOPED_TRACE(path.size());
    LoadedPlugin plugin(false, path);
    char version[32] = {};
    EXPECT_EQ(plugin.Get<PFN_GetVersionInfo>("GetVersionInfo")(version, sizeof version - 1), 1);
    EXPECT_STREQ(version, "5.00b50");
    RecordingWindow window;
    afx::Event cancel;
    OperationParams params{1024, 7, &window, &cancel};
    EXPECT_EQ(plugin.Get<PFN_DoOperation>("DoOperation")(&params), 0);
    ASSERT_EQ(plugin.Ui().boxes.size(), 1u);
    const ScriptedUi::Box& box = plugin.Ui().boxes[0];
    EXPECT_EQ(box.caption, "DevQZ710");
    EXPECT_EQ(box.flags, 0x10030u);
    EXPECT_EQ(box.text.rfind("DevQZ7xx Version: 5.00b50\n\n", 0), 0u) << box.text;
    EXPECT_GT(box.text.size(), std::strlen("DevQZ7xx Version: 5.00b50\n\n"));
    EXPECT_EQ(window.LastStatus(), "There was a failure with the operation!");
    EXPECT_EQ(window.PostedDone(), 1);
  }
}
