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


// An ELF executable of `size` bytes loaded from address 0 whose identity
// lies at load address 0x3000, where the reader looks for it.
std::vector<std::uint8_t> ElfBody(std::uint16_t version, std::size_t size = 0x4000, const char* platform = "KELVOR ") {
  std::vector<std::uint8_t> body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
  sim::IdentityBlock id;
  id.name = platform;
  id.version = version;
  id.imageSize = static_cast<std::uint32_t>(size);
  const auto block = sim::ImageWriter::Identity(id);
  std::copy(block.begin(), block.end(), body.begin() + 0x3000);
  return body;
}

// The receiver's application at 3.50, with or without the Data Logging feature.
std::string MonitorRouteProfile(bool dataLogging = false, const std::string& extra = "radio.pipe = nak\n") {
  return std::string("product.features = 1:") + (dataLogging ? "1" : "0") +
         "\nproduct.code = 100\nproduct.id = 100\nversion = 3.50\nproduct.installed = 3,50\n" + extra;
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

namespace {

// Files that are not containers are programmed from the monitor at the
// application start plus each block's own address, after the sectors that
// the identity's image size spans have been erased.
TEST_F(UpdateScenario, SRecordAndElfFilesAreProgrammedFromTheMonitor) {
  sim::IdentityBlock id;
  id.name = "KELVOR ";
  id.version = 420;
  const std::vector<std::uint8_t> srecImage = sim::ImageWriter::Application(id, 0x43100);
  const std::string srecText = sim::ImageWriter::SRecord(srecImage, 0);
  const std::vector<std::uint8_t> elfImage = ElfBody(420);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> file;
    const std::vector<std::uint8_t>* image;
    std::vector<std::uint32_t> erased;
  };
  const Case cases[] = {
      {"fw_v420.srec", std::vector<std::uint8_t>(srecText.begin(), srecText.end()), &srecImage,
       {0x02440000, 0x02450000, 0x02460000, 0x02470000, 0x02480000}},
      {"fw_v420.elf", sim::ImageWriter::Elf(elfImage, 0), &elfImage, {0x02440000}},
      {"FW_V420.ELF", sim::ImageWriter::Elf(elfImage, 0), &elfImage, {0x02440000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (attachment_) sim::Detach(attachment_);
    window_.statuses.clear();
    window_.progress.clear();
    ui_.boxes.clear();
    Attach(MonitorRouteProfile());
    Register(c.file, c.name);
    EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(attachment_->Receiver().Flash().EraseLog(), c.erased);
    EXPECT_EQ(Flash(kAppBase, c.image->size()), *c.image);
    EXPECT_TRUE(Saw("Erasing program flash..."));
    EXPECT_TRUE(Saw("Rebooting the QZ7xx receiver..."));
    EXPECT_EQ(window_.progress.back(), 100);
    EXPECT_TRUE(ui_.boxes.empty()) << ::testing::PrintToString(BoxTexts());
  }
}

// The version questions on every route that programs from the monitor: a
// No cancels before anything is erased, a Yes carries on.
TEST_F(UpdateScenario, VersionQuestions) {
  struct Case {
    const char* name;
    bool container;
    std::uint16_t version;
    int answer;
    int prompt;  // 0: no question
    int result;
  };
  const Case cases[] = {
      {"same version, declined", false, 350, IDNO, 151, 2},
      {"same version, accepted", false, 350, IDYES, 151, 1},
      {"older version, declined", false, 349, IDNO, 158, 2},
      {"older major, accepted", false, 299, IDYES, 158, 1},
      {"newer version", false, 351, IDYES, 0, 1},
      {"container, same version, declined", true, 350, IDNO, 151, 2},
      {"container, older version, declined", true, 340, IDNO, 158, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (attachment_) sim::Detach(attachment_);
    ui_.boxes.clear();
    window_.statuses.clear();
    Attach(MonitorRouteProfile());
    if (c.container) {
      Register(MakeImage(3, 21, "KELVOR ", c.version).file);
    } else {
      Register(sim::ImageWriter::Elf(ElfBody(c.version), 0), "fw.elf");
    }
    ui_.answers = {c.answer};
    EXPECT_EQ(Run(), c.result);
    if (c.prompt == 0) {
      EXPECT_TRUE(ui_.boxes.empty()) << ::testing::PrintToString(BoxTexts());
    } else {
      ASSERT_FALSE(ui_.boxes.empty());
      EXPECT_EQ(ui_.boxes[0].text, AfxLoadString(static_cast<UINT>(c.prompt)));
      EXPECT_EQ(ui_.boxes[0].flags & 0xFF, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
      EXPECT_EQ(ui_.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
    }
    EXPECT_EQ(attachment_->Receiver().Flash().EraseLog().empty(), c.result != 1);
    if (c.result == 2) {
      EXPECT_EQ(window_.LastStatus(), "The operation was canceled.");
    }
  }
}

// A receiver that keeps logged files asks first on the routes that read its
// product record; Cancel writes nothing.
TEST_F(UpdateScenario, DataLoggingQuestion) {
  struct Case {
    const char* name;
    const char* version;  // the application's version: 4.10 installs the container itself
    bool container;
    int answer;
    bool written;
  };
  const Case cases[] = {
      {"file, cancelled", "3.50", false, IDCANCEL, false},
      {"file, confirmed", "3.50", false, IDOK, true},
      {"container from the monitor, cancelled", "3.50", true, IDCANCEL, false},
      {"container from the monitor, confirmed", "3.50", true, IDOK, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (attachment_) sim::Detach(attachment_);
    ui_.boxes.clear();
    Attach(std::string("product.features = 1:1\nproduct.code = 100\nproduct.id = 100\nversion = ") + c.version +
           "\nproduct.installed = 3,50\nradio.pipe = nak\n");
    std::vector<std::uint8_t> application;
    if (c.container) {
      const Image image = MakeImage(3, 21);
      application = image.application;
      Register(image.file);
    } else {
      application = ElfBody(420);
      Register(sim::ImageWriter::Elf(application, 0), "fw.elf");
    }
    ui_.answers = {c.answer};
    const int result = Run();
    ASSERT_FALSE(ui_.boxes.empty());
    EXPECT_EQ(ui_.boxes[0].text, AfxLoadString(1302));
    EXPECT_EQ(ui_.boxes[0].flags & 0xF, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(ui_.boxes[0].flags & MB_DEFBUTTON2, static_cast<UINT>(MB_DEFBUTTON2));
    EXPECT_EQ(ui_.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(Flash(kAppBase, application.size()) == application, c.written);
    if (!c.written) {
      EXPECT_TRUE(attachment_->Receiver().Flash().EraseLog().empty());
      EXPECT_TRUE(attachment_->Receiver().UploadedImage().empty());
    }
    // Declining is not a failure: the receiver is left running.
    EXPECT_EQ(result, 1);
  }
}

// Over the receiver's USB link the speed is never changed: the link runs at
// its own rate, and the port is reopened after every restart.
TEST_F(UpdateScenario, UsbLinkKeepsTheSpeed) {
  struct Case {
    const char* name;
    const char* version;
    bool container;
  };
  const Case cases[] = {
      {"file from the monitor", "3.50", false},
      {"container through the application", "4.10", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (attachment_) sim::Detach(attachment_);
    Attach(std::string("port.number = 15\nproduct.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = ") +
           c.version + "\nproduct.installed = 3,50\nradio.pipe = nak\n");
    std::vector<std::uint8_t> application;
    if (c.container) {
      const Image image = MakeImage(3, 21);
      application = image.application;
      Register(image.file);
    } else {
      application = ElfBody(420);
      Register(sim::ImageWriter::Elf(application, 0), "fw.elf");
    }
    const std::uint64_t generation = attachment_->Receiver().LinkGeneration();
    EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(Flash(kAppBase, application.size()), application);
    EXPECT_GT(attachment_->Receiver().LinkGeneration(), generation);
    for (const auto& e : attachment_->Receiver().GetTranscript().Entries()) {
      EXPECT_NE(e.note.rfind("request report 0x48", 0), 0u) << e.note;
      EXPECT_NE(e.note.rfind("request loader 17", 0), 0u) << e.note;
    }
  }
}

// The same container on a serial line switches the application to 115200 first.
TEST_F(UpdateScenario, SerialLineRaisesTheApplicationSpeed) {
  Attach("product.features = 1:0\nproduct.code = 100\nproduct.id = 100\nversion = 4.10\nradio.pipe = nak\n");
  Register(MakeImage(3, 21).file);
  EXPECT_EQ(Run(), 1) << ::testing::PrintToString(BoxTexts());
  bool asked = false;
  for (const auto& e : attachment_->Receiver().GetTranscript().Entries())
    if (e.note.rfind("request report 0x48", 0) == 0) asked = true;
  EXPECT_TRUE(asked);
}

// After programming the operation follows the radio's synchronisation.
TEST_F(UpdateScenario, RadioSynchronisation) {
  struct Case {
    const char* name;
    const char* radio;
    std::vector<int> boxes;
    bool showsProgress;
  };
  const Case cases[] = {
      {"synchronises", "radio.sync_states = 3, 3, 4\n", {}, true},
      {"nothing to do", "radio.sync_states = 0\n", {}, false},
      {"never finishes", "radio.sync_states = 1\n", {4089}, false},
      {"out of step with the firmware", "radio.sync_states = 2\nradio.out_of_sync = 1\n", {4090}, false},
      {"failed but in step", "radio.sync_states = 2\nradio.out_of_sync = 0\n", {4089}, false},
      {"no radio", "radio.pipe = nak\n", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (attachment_) sim::Detach(attachment_);
    ui_.boxes.clear();
    window_.statuses.clear();
    window_.progress.clear();
    Attach(MonitorRouteProfile(false, c.radio));
    Register(sim::ImageWriter::Elf(ElfBody(420), 0), "fw.elf");
    EXPECT_EQ(Run(), 1);
    std::vector<std::string> want;
    for (int id : c.boxes) want.push_back(AfxLoadString(static_cast<UINT>(id)));
    EXPECT_EQ(BoxTexts(), want);
    EXPECT_EQ(Saw("Radio firmware synchronization is in progress, this may take up to 5 minutes. Please wait ..."),
              c.showsProgress);
    if (c.showsProgress) {
      const std::vector<int> tail(window_.progress.end() - 3, window_.progress.end());
      EXPECT_EQ(tail, (std::vector<int>{0, 1, 100}));
    }
  }
}

}  // namespace
