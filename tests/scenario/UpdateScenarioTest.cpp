// "Load GPS software" end to end: the page picks the catalogue's file, the
// operation runs through the dispatcher against the virtual receiver in
// virtual time, and the receiver's flash is compared with the image.
#include <gtest/gtest.h>

#include "afx/PropertySheet.h"
#include "operations/UpdateOperation.h"
#include "sim/ImageWriter.h"
#include "support/SimScenario.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test::SimScenario;

constexpr std::uint32_t kMonitorBase = 0x02400000;
constexpr std::uint32_t kAppBase = 0x02440000;
const Bytes kRebootRequest{0x02, 0x00, 0x87, 0x00, 0x87, 0x03};

// An application of `size` bytes at `version` whose identity, naming this
// receiver's platform, lies at `at` (0x3000 in an executable loaded from 0,
// where the reader looks for it).
Bytes Application(std::uint16_t version = 420, std::size_t size = 12 * 1024, std::size_t at = 0) {
  Bytes app(size);
  for (std::size_t i = 0; i < size; ++i) app[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
  sim::IdentityBlock id;
  id.name = "KELVOR ";
  id.version = version;
  id.imageSize = static_cast<std::uint32_t>(size);
  const Bytes block = sim::ImageWriter::Identity(id);
  std::copy(block.begin(), block.end(), app.begin() + static_cast<std::ptrdiff_t>(at));
  return app;
}

// A container with a 3.21 monitor and an application at `version`.
struct Image {
  Bytes monitor, application, file;
};
Image Container(std::uint16_t version = 420, std::size_t appSize = 12 * 1024) {
  Image image{Bytes(6 * 1024), Application(version, appSize), {}};
  for (std::size_t i = 0; i < image.monitor.size(); ++i) image.monitor[i] = static_cast<std::uint8_t>(i * 7 + 3);
  image.file = sim::ImageWriter::Timg({{0, 3, 21, kMonitorBase, image.monitor},
                                       {2, static_cast<std::uint8_t>(version / 100),
                                        static_cast<std::uint8_t>(version % 100), kAppBase, image.application}});
  return image;
}

// A QZ710 application at `version`: up to 3.8 it is programmed from the
// monitor, from 3.8 up the application takes the container itself.
std::string Profile(const char* version = "3.50", bool dataLogging = false, const std::string& extra = "") {
  return std::string("product.features = 1:") + (dataLogging ? "1" : "0") +
         "\nproduct.code = 100\nproduct.id = 100\nversion = " + version +
         "\nproduct.installed = 3,50\nradio.pipe = nak\n" + extra;
}

// One run: the receiver, the catalogue's only QZ710 file and the page that
// picks it (no LastUsedCOM: nothing is identified beforehand).
class Update {
 public:
  explicit Update(const std::string& profile) : s(profile) { s.params.operation = 3; }

  void Add(const Bytes& file, const char* name = "fw_v420.timg") { s.AddFirmware(file, name, "Version 4.20", "QZ710"); }
  // Lists a container (or an executable) whose application is at `version`; returns that application.
  Bytes AddApplication(bool container, std::uint16_t version = 420) {
    if (container) {
      const Image image = Container(version);
      Add(image.file);
      return image.application;
    }
    const Bytes body = Application(version, 0x4000, 0x3000);
    Add(sim::ImageWriter::Elf(body, 0), "fw.elf");
    return body;
  }
  int Run() {
    CPropertySheet sheet;
    sheet.AddPage(&op.GetUpdatePage());
    EXPECT_TRUE(sheet.ActivatePage(0));
    EXPECT_TRUE(sheet.NextFrom(0));
    return s.Run(op);
  }
  Bytes Flash(std::uint32_t address, std::size_t n) { return s.Receiver().Flash().Read(address, n); }
  bool Erased() { return !s.Receiver().Flash().EraseLog().empty(); }

  SimScenario s;
  CUpdateOperation op;
};

const std::vector<std::string> kNoBoxes;

}  // namespace

// An outdated monitor is installed first when the user agrees; a No writes nothing.
TEST(UpdateScenario, OutdatedMonitorQuestion) {
  for (const int answer : {IDYES, IDNO}) {
    SCOPED_TRACE(answer);
    Update u(Profile("3.50", false, "product.monitor = 3,10\n"));
    const Image image = Container();
    u.Add(image.file);
    u.s.ui.answers = {answer};
    const int result = u.Run();
    EXPECT_TRUE(u.s.OneBoxWith("WARNING!! The currently installed monitor in the receiver does not meet", true));
    char summary[256] = {};
    ASSERT_TRUE(u.op.GetText(TEXT_SUMMARY, summary, sizeof summary - 1));
    EXPECT_STREQ(summary, "Operation to perform:\r\n\tLoad GPS software\r\n\r\nUpgrade software to:\r\n\tVersion 4.20");
    if (answer == IDYES) {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(u.Flash(kMonitorBase, image.monitor.size()), image.monitor);
      EXPECT_EQ(u.Flash(kAppBase, image.application.size()), image.application);
    } else {
      EXPECT_FALSE(u.Erased());
    }
  }
}

// A monitor that cannot be written leaves the receiver without a sure way
// back: the one box says so, in so many words, and nothing else is tried.
TEST(UpdateScenario, AFailedMonitorWriteTellsToKeepThePowerOn) {
  Update u(Profile("3.50", false, "product.monitor = 3,10\nfault = silence type=3 count=0\n"));
  const Image image = Container();
  u.Add(image.file);
  u.s.ui.answers = {IDYES};
  const int result = u.Run();
  const std::vector<std::string> boxes = u.s.BoxTexts();
  ASSERT_EQ(boxes.size(), 2u) << ::testing::PrintToString(boxes);
  EXPECT_EQ(boxes[0].rfind("WARNING!! The currently installed monitor in the receiver does not meet", 0), 0u);
  EXPECT_EQ(boxes[1].rfind("IMPORTANT - DO NOT REMOVE POWER FROM THE RECEIVER!\r\n\r\nTalvern has encountered a problem "
                           "while upgrading the monitor software.", 0), 0u);
  EXPECT_EQ(result, 2) << u.s.window.LastStatus();
  EXPECT_NE(u.Flash(kAppBase, image.application.size()), image.application);
}

TEST(UpdateScenario, CancelInMidTransferEndsAsCancelled) {
  Update u(Profile());
  const Image image = Container(420, 64 * 1024);
  u.Add(image.file);
  u.s.window.onProgress = [&u](int percent) {
    if (percent > 30) u.s.cancel.Set();
  };
  EXPECT_EQ(u.Run(), 2);
  EXPECT_EQ(u.s.window.LastStatus(), "The operation was canceled.");
  EXPECT_NE(u.Flash(kAppBase, image.application.size()), image.application);
  EXPECT_EQ(u.s.BoxTexts(), kNoBoxes);
}

// Below 3.8 every file is programmed from the monitor. A container gives
// its application section only, since the monitor is current; other files
// go to the application start plus each block's own address, after the
// sectors that the identity's image size spans have been erased. The
// receiver then runs the version the file states, wherever its identity
// lies, and is not misled by image bytes where another format keeps one.
TEST(UpdateScenario, MonitorRouteWritesTheApplication) {
  sim::IdentityBlock id;
  id.name = "KELVOR ";
  id.version = 420;
  const Bytes srecImage = sim::ImageWriter::Application(id, 0x43100);
  const std::string srecText = sim::ImageWriter::SRecord(srecImage, 0);
  const Bytes elfImage = Application(420, 0x4000, 0x3000);
  // Linked 0x40000 higher: the identity at 0x3000, image bytes at 0x43000.
  const Bytes bigApp = sim::ImageWriter::Application(id, 0x84000);
  const Bytes bigElfImage(bigApp.begin() + 0x40000, bigApp.end());
  auto img = [&id](std::size_t bodySize) {
    Bytes body(bodySize);
    for (std::size_t i = 0; i < bodySize; ++i) body[i] = static_cast<std::uint8_t>(i * 13);
    sim::IdentityBlock head = id;
    head.imageSize = static_cast<std::uint32_t>(bodySize);
    return sim::ImageWriter::Img(head, body);
  };
  const Bytes smallImg = img(0x1000), bigImg = img(0x44000);
  const Image container = Container();
  const struct {
    const char* name;
    Bytes file;
    const Bytes* image;
    std::vector<std::uint32_t> erased;
  } cases[] = {
      {"fw_v420.timg", container.file, &container.application, {0x02440000}},
      {"fw_v420.srec", Bytes(srecText.begin(), srecText.end()), &srecImage,
       {0x02440000, 0x02450000, 0x02460000, 0x02470000, 0x02480000}},
      {"fw_v420.elf", sim::ImageWriter::Elf(elfImage, 0), &elfImage, {0x02440000}},
      {"FW_V420.ELF", sim::ImageWriter::Elf(elfImage, 0), &elfImage, {0x02440000}},
      {"big.elf", sim::ImageWriter::Elf(bigElfImage, 0), &bigElfImage,
       {0x02440000, 0x02450000, 0x02460000, 0x02470000, 0x02480000, 0x02490000, 0x024A0000, 0x024B0000,
        0x024C0000}},
      {"small.img", smallImg, &smallImg, {0x02440000}},
      {"big.img", bigImg, &bigImg, {0x02440000, 0x02450000, 0x02460000, 0x02470000, 0x02480000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Update u(Profile());
    u.Add(c.file, c.name);
    EXPECT_EQ(u.Run(), 1) << ::testing::PrintToString(u.s.BoxTexts());
    EXPECT_EQ(u.s.Receiver().Flash().EraseLog(), c.erased);
    EXPECT_EQ(u.Flash(kAppBase, c.image->size()), *c.image);
    EXPECT_EQ(u.s.Receiver().GetProfile().version, "4.20");
    if (c.image == &container.application) {
      EXPECT_NE(u.Flash(kMonitorBase, container.monitor.size()), container.monitor);
    }
    for (const char* status :
         {"Erasing program flash...", "Updating the software of the QZ7xx...", "Rebooting the QZ7xx receiver..."})
      EXPECT_TRUE(u.s.HasStatus(status)) << status;
    EXPECT_EQ(u.s.window.progress.back(), 100);
    EXPECT_EQ(u.s.BoxTexts(), kNoBoxes);
  }
}

// The version questions on every route that programs from the monitor: a
// No cancels before anything is erased, a Yes carries on.
TEST(UpdateScenario, VersionQuestions) {
  const char* same = "Software version already installed!\n\nProceed?";
  const char* older =
      "The software you are attempting to install is an older version than the\ncurrently installed software.\n\nProceed?";
  const struct {
    const char* name;
    bool container;
    std::uint16_t version;
    int answer;
    const char* prompt;  // nullptr: no question
    int result;
  } cases[] = {
      {"same version, declined", false, 350, IDNO, same, 2},
      {"same version, accepted", false, 350, IDYES, same, 1},
      {"older version, declined", false, 349, IDNO, older, 2},
      {"older major, accepted", false, 299, IDYES, older, 1},
      {"newer version", false, 351, IDYES, nullptr, 1},
      {"container, same version, declined", true, 350, IDNO, same, 2},
      {"container, older version, declined", true, 340, IDNO, older, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Update u(Profile());
    u.AddApplication(c.container, c.version);
    u.s.ui.answers = {c.answer};
    EXPECT_EQ(u.Run(), c.result);
    EXPECT_EQ(u.s.BoxTexts(), c.prompt ? std::vector<std::string>{c.prompt} : kNoBoxes);
    if (c.prompt && !u.s.ui.boxes.empty()) {
      EXPECT_EQ(u.s.ui.boxes[0].flags & 0xFF, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    }
    EXPECT_EQ(u.Erased(), c.result == 1);
    if (c.result == 2) {
      EXPECT_EQ(u.s.window.LastStatus(), "The operation was canceled.");
    }
  }
}

// An update may wipe the receiver's logged files, so the user is asked first
// when the product record lists data logging, and always on the route
// through the application, whose identity tells no features. Cancel writes
// nothing, and is no failure: the receiver is left running.
TEST(UpdateScenario, DataLoggingQuestion) {
  const struct {
    const char* name;
    const char* version;
    bool container, logging, asks;
  } routes[] = {
      {"file from the monitor", "3.50", false, true, true},
      {"container from the monitor", "3.50", true, true, true},
      {"container from the monitor, no logging", "3.50", true, false, false},
      {"container through the application", "4.10", true, true, true},
      {"container through the application, features unknown", "4.10", true, false, true},
  };
  for (const auto& r : routes) {
    for (const int answer : {IDCANCEL, IDOK}) {
      if (!r.asks && answer == IDCANCEL) continue;
      SCOPED_TRACE(std::string(r.name) + (answer == IDOK ? ", confirmed" : ", cancelled"));
      Update u(Profile(r.version, r.logging));
      const Bytes application = u.AddApplication(r.container);
      u.s.ui.answers = {answer};
      EXPECT_EQ(u.Run(), 1);
      ASSERT_EQ(u.s.ui.boxes.size(), r.asks ? 1u : 0u) << ::testing::PrintToString(u.s.BoxTexts());
      if (r.asks) {
        EXPECT_EQ(u.s.ui.boxes[0].text,
                  "Ensure all files have been downloaded from the receiver before upgrading firmware.  Some firmware "
                  "upgrade operations will cause the receiver file system to be reformatted, which will result in the "
                  "loss of all logged files. See the Release Notes for information specific to your release.");
        EXPECT_EQ(u.s.ui.boxes[0].flags & (0xF | MB_DEFBUTTON2), static_cast<UINT>(MB_OKCANCEL | MB_DEFBUTTON2));
      }
      EXPECT_EQ(u.Flash(kAppBase, application.size()) == application, answer == IDOK);
      if (answer == IDCANCEL) {
        EXPECT_FALSE(u.Erased());
        EXPECT_TRUE(u.s.Receiver().UploadedImage().empty());
      }
    }
  }
}

// The receiver's own install is never interrupted: a cancel asked for
// while it copies the image into its flash is honoured once the install is
// over, and nothing reaches the receiver before then.
TEST(UpdateScenario, CancelDuringTheReceiversInstallWaitsForItsEnd) {
  Update u(Profile("4.10", false, "upload.states = 1:2000,2:6000,3:30000,6:0\n"));
  const Bytes application = u.AddApplication(true);
  u.s.ui.answers = {IDOK};
  std::int64_t cancelledNs = -1, installedNs = -1;
  u.s.window.onProgress = [&](int percent) {
    const std::int64_t now = static_cast<std::int64_t>(u.s.Seconds() * 1e9);
    // Past half the bar the receiver reports copying its flash.
    if (percent > 50 && cancelledNs < 0) {
      cancelledNs = now;
      u.s.cancel.Set();
    }
    if (percent == 100 && installedNs < 0) installedNs = now;
  };
  EXPECT_EQ(u.Run(), 2);
  EXPECT_EQ(u.s.window.LastStatus(), "The operation was canceled.");
  ASSERT_GT(cancelledNs, 0);
  ASSERT_GT(installedNs, cancelledNs) << "the install did not run to its end";
  for (const auto& e : u.s.Receiver().GetTranscript().Entries()) {
    if (e.timeNs < cancelledNs || e.timeNs > installedNs) continue;
    EXPECT_NE(e.note.rfind("request report 0x48", 0), 0u) << e.timeNs;
    EXPECT_NE(e.note.rfind("request report 0x58", 0), 0u) << e.timeNs;
  }
  EXPECT_EQ(u.Flash(kAppBase, application.size()), application);
}

// A receiver that falls silent after its first answer is not taken for the
// model it named then: no reboot request goes to it, and the run fails
// within seconds instead of waiting out a restart that cannot come. One
// that does not answer the reboot request after programming restarts on its
// own: that update has succeeded.
TEST(UpdateScenario, SilenceBeforeAndAfterProgramming) {
  Update silent(Profile("3.50", false, "fault = silence n=2 count=0\n"));
  silent.AddApplication(true);
  EXPECT_EQ(silent.Run(), 0);
  EXPECT_TRUE(silent.s.OneBoxWith("[801]"));
  EXPECT_FALSE(silent.s.HostSent(kRebootRequest));
  EXPECT_LT(silent.s.Seconds(), 30.0);

  Update unanswered(Profile("3.50", false, "fault = silence type=4 count=0\n"));
  const Bytes application = unanswered.AddApplication(true);
  EXPECT_EQ(unanswered.Run(), 1);
  EXPECT_GT(unanswered.s.Receiver().Faults().Fired()[0], 0u) << "the reboot request was answered";
  EXPECT_EQ(unanswered.s.BoxTexts(), kNoBoxes);
  EXPECT_EQ(unanswered.Flash(kAppBase, application.size()), application);
}

// From 3.8 up the application takes the container itself, on a serial line
// after a switch to 115200. Over the receiver's USB link the speed is never
// changed (the link runs at its own rate) and the port is reopened after
// every restart, on either route.
TEST(UpdateScenario, ApplicationRouteAndUsbLinkSpeeds) {
  const struct {
    const char* name;
    bool usb, container;
  } cases[] = {{"serial, container through the application", false, true},
               {"USB, container through the application", true, true},
               {"USB, file from the monitor", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Update u((c.usb ? "port.number = 15\n" : "") + Profile(c.container ? "4.10" : "3.50"));
    const Bytes application = u.AddApplication(c.container);
    const std::uint64_t generation = u.s.Receiver().LinkGeneration();
    u.s.ui.answers = {IDOK};  // the application route asks about logged files
    EXPECT_EQ(u.Run(), 1);
    EXPECT_EQ(u.Flash(kAppBase, application.size()), application);
    EXPECT_EQ(u.s.ui.boxes.size(), c.container ? 1u : 0u) << ::testing::PrintToString(u.s.BoxTexts());
    EXPECT_EQ(u.s.HasStatus("Done. The receiver will reboot itself momentarily."), c.container);
    EXPECT_EQ(u.s.Asked(0x48), !c.usb);
    if (c.usb) {
      EXPECT_GT(u.s.Receiver().LinkGeneration(), generation);
      EXPECT_FALSE(u.s.Asked(17, "loader"));
    }
  }
}

// A USB link that vanishes in a long report exchange fails every send,
// resend and read of it: one failure, one message box.
TEST(UpdateScenario, AVanishedUsbLinkIsShownOnce) {
  for (const char* fault : {"disconnect at=2 n=1 ms=23058", "disconnect at=5 n=1 ms=5985",
                            "disconnect at=29 n=1 ms=11358"}) {
    SCOPED_TRACE(fault);
    Update u("port.number = 15\nfault = " + std::string(fault) + "\n" + Profile("4.10"));
    u.AddApplication(true);
    u.s.ui.answers = {IDOK, IDOK};  // the application route asks about logged files
    EXPECT_EQ(u.Run(), 0);
    std::vector<std::string> failures;
    for (const auto& text : u.s.BoxTexts())
      if (text.find("Ensure all files have been downloaded") == std::string::npos) failures.push_back(text);
    ASSERT_EQ(failures.size(), 1u) << ::testing::PrintToString(u.s.BoxTexts());
    EXPECT_EQ(failures[0].rfind("COM Failure! [304] There was a fatal error [31] with COM7.", 0), 0u) << failures[0];
  }
}

// After the update the receiver's radio is given time to take up the new
// software: the wait is shown while it synchronises, and a radio that fails
// or never finishes is reported in a box; the update itself has succeeded.
TEST(UpdateScenario, TheRadioIsWaitedForAfterTheUpdate) {
  const struct {
    const char* name;
    const char* radio;
    std::vector<std::string> boxes;
    bool waits = false;
  } cases[] = {
      {"synchronised", "radio.sync_states = 3, 3, 4\n", {}, true},
      {"the radio does not answer", "fault = silence type=0x77 count=0\n", {}},
      {"failed and out of step", "radio.sync_states = 2\nradio.out_of_sync = 1\n",
       {"Radio firmware is out of synchronization with installed receiver firmware. Please reboot the receiver and "
        "leave the power on for 5 minutes before using the radio."}},
      {"a state that never settles", "radio.sync_states = 1\n",
       {"Radio firmware synchronization failed. Please reboot the receiver and leave the power on for 5 minutes "
        "before using the radio."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Update u(Profile("3.50", false, std::string("radio.pipe = ack\n") + c.radio));
    u.AddApplication(false);
    EXPECT_EQ(u.Run(), 1);
    EXPECT_EQ(u.s.HasStatus(
                  "Radio firmware synchronization is in progress, this may take up to 5 minutes. Please wait ..."),
              c.waits);
    EXPECT_EQ(u.s.BoxTexts(), c.boxes);
  }
}
