// "Load GPS software" end to end: the page picks the catalogue's file, the
// operation runs through the dispatcher against the virtual receiver in
// virtual time, and the receiver's flash is compared with the image.
#include <gtest/gtest.h>

#include <algorithm>

#include "afx/Clock.h"
#include "afx/Module.h"
#include "afx/Registry.h"
#include "firmware/FirmwareEntryManager.h"
#include "operations/UpdateOperation.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "sim/ImageWriter.h"
#include "sim/SimAttach.h"
#include "support/RecordingWindow.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

namespace {

constexpr int kCom = 7;
constexpr std::uint32_t kMonitorBase = 0x02400000;
constexpr std::uint32_t kAppBase = 0x02440000;

struct Image {
  std::vector<std::uint8_t> monitor;
  std::vector<std::uint8_t> application;
  std::vector<std::uint8_t> file;
};

// A container with a monitor of `monitorVersion` (major, minor) and an
// application whose identity names `platform`.
Image MakeImage(std::uint8_t monMajor, std::uint8_t monMinor, const char* platform = "KELVOR ",
                std::uint16_t version = 420, std::size_t appSize = 12 * 1024) {
  Image image;
  image.monitor.resize(6 * 1024);
  for (std::size_t i = 0; i < image.monitor.size(); ++i) image.monitor[i] = static_cast<std::uint8_t>(i * 7 + 3);
  sim::IdentityBlock id;
  id.name = platform;
  id.version = version;
  id.imageSize = static_cast<std::uint32_t>(appSize);
  image.application = sim::ImageWriter::Identity(id);
  while (image.application.size() < appSize) image.application.push_back(static_cast<std::uint8_t>(image.application.size() % 253));
  std::vector<sim::ImageSection> sections;
  sections.push_back({0, monMajor, monMinor, kMonitorBase, image.monitor});
  sections.push_back({2, static_cast<std::uint8_t>(version / 100), static_cast<std::uint8_t>(version % 100), kAppBase,
                      image.application});
  image.file = sim::ImageWriter::Timg(sections);
  return image;
}

class UpdateScenario : public ::testing::Test {
 protected:
  UpdateScenario() : scoped_(clock_), state_(AfxGetStaticModuleState()), keepUi_(ui_) {
    afx::SetRegistryPath(dir_.File("registry.reg"));
  }
  ~UpdateScenario() override {
    if (attachment_) sim::Detach(attachment_);
  }

  void Attach(const std::string& profileText) {
    sim::Profile profile;
    std::string error;
    ASSERT_TRUE(sim::Profile::Parse(profileText, &profile, &error)) << error;
    attachment_ = sim::Attach(profile, kCom, &error);
    ASSERT_TRUE(attachment_) << error;
    ASSERT_EQ(attachment_->ComPort(), kCom);
  }

  // Registers `bytes` as the catalogue's only QZ710 firmware.
  void Register(const std::vector<std::uint8_t>& bytes, const char* name = "fw_v420.timg") {
    const std::string path = dir_.Write(name, bytes);
    HKEY root = nullptr;
    ASSERT_EQ(afx::RegOpenKeyPath(std::string("HKEY_LOCAL_MACHINE\\") + FirmwareEntryManager::kRootPath,
                                  KEY_ALL_ACCESS, &root, true),
              ERROR_SUCCESS);
    RegCloseKey(root);
    FirmwareEntryManager catalogue;
    DWORD error = 0;
    ASSERT_TRUE(catalogue.AddFirmwareEntry(FirmwareEntry("Version 4.20", "QZ710", path.c_str(), "Version 4.20", 1),
                                           error))
        << error;
  }

  // Shows the page (no LastUsedCOM: nothing is identified) and runs the operation.
  int Run() {
    CPropertySheet sheet;
    sheet.AddPage(&op_.GetUpdatePage());
    EXPECT_TRUE(sheet.ActivatePage(0));
    EXPECT_TRUE(sheet.NextFrom(0));
    OperationParams params{kCom, 3, &window_, &cancel_};
    return RunOperation(&op_, &params);
  }

  std::vector<std::uint8_t> Flash(std::uint32_t address, std::size_t n) {
    return attachment_->Receiver().Flash().Read(address, n);
  }
  bool Saw(const char* status) const {
    return std::find(window_.statuses.begin(), window_.statuses.end(), status) != window_.statuses.end();
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : ui_.boxes) texts.push_back(b.text);
    return texts;
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_;
  AFX_MAINTAIN_STATE state_;
  testsupport::TempDir dir_;
  ScriptedUi ui_;
  ScopedUi keepUi_;
  RecordingWindow window_;
  afx::Event cancel_;
  CUpdateOperation op_;
  std::shared_ptr<sim::SimAttachment> attachment_;
};

// A receiver whose application is older than 3.8 and newer than 1.0 is
// programmed from its monitor: the application section only, since the
// monitor is current.
TEST_F(UpdateScenario, MonitorRouteWritesTheApplicationSection) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\nradio.pipe = nak\n");
  const Image image = MakeImage(3, 21);
  Register(image.file);
  EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(Flash(kAppBase, image.application.size()), image.application);
  EXPECT_NE(Flash(kMonitorBase, image.monitor.size()), image.monitor);
  EXPECT_TRUE(Saw("Erasing program flash..."));
  EXPECT_TRUE(Saw("Updating the software of the QZ7xx..."));
  EXPECT_TRUE(Saw("Rebooting the QZ7xx receiver..."));
  EXPECT_EQ(window_.progress.back(), 100);
  EXPECT_TRUE(ui_.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(UpdateScenario, OutdatedMonitorIsInstalledFirstWhenTheUserAgrees) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\n"
         "product.monitor = 3,10\nradio.pipe = nak\n");
  const Image image = MakeImage(3, 21);
  Register(image.file);
  ui_.answers = {IDYES};
  EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, AfxLoadString(4085));
  EXPECT_EQ(Flash(kMonitorBase, image.monitor.size()), image.monitor);
  EXPECT_EQ(Flash(kAppBase, image.application.size()), image.application);
}

TEST_F(UpdateScenario, DeclinedMonitorWritesNothing) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\n"
         "product.monitor = 3,10\nradio.pipe = nak\n");
  Register(MakeImage(3, 21).file);
  ui_.answers = {IDNO};
  Run();
  EXPECT_TRUE(attachment_->Receiver().Flash().EraseLog().empty());
}

// From 3.8 up the running application takes the container itself.
TEST_F(UpdateScenario, ApplicationRouteUploadsTheContainer) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 4.10\nradio.pipe = nak\n");
  const Image image = MakeImage(3, 21);
  Register(image.file);
  EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(Flash(kAppBase, image.application.size()), image.application);
  EXPECT_TRUE(Saw("Done. The receiver will reboot itself momentarily."));
  EXPECT_TRUE(ui_.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(UpdateScenario, FileForAnotherPlatformIsRefusedBeforeAnythingIsErased) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\nradio.pipe = nak\n");
  Register(MakeImage(3, 21, "NESTIR ").file);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(ui_.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_NE(ui_.boxes[0].text.find("firmware and hardware mismatch"), std::string::npos);
  EXPECT_TRUE(attachment_->Receiver().Flash().EraseLog().empty());
}

TEST_F(UpdateScenario, CancelInMidTransferEndsAsCancelled) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\nradio.pipe = nak\n");
  const Image image = MakeImage(3, 21, "KELVOR ", 420, 64 * 1024);
  Register(image.file);
  window_.onProgress = [this](int percent) {
    if (percent > 30) cancel_.Set();
  };
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(window_.LastStatus(), "The operation was canceled.");
  EXPECT_NE(Flash(kAppBase, image.application.size()), image.application);
  EXPECT_TRUE(ui_.boxes.empty()) << ::testing::PrintToString(BoxTexts());
}

}  // namespace
