// Flash programming through the monitor and the application-mode upload,
// against a scripted line that answers the frames the interface writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "device/GarnexInterface.h"
#include "firmware/TimgFile.h"
#include "port/SerialInterface.h"
#include "support/FrameResponder.h"
#include "support/PluginTestEnv.h"
#include "support/RecordingWindow.h"
#include "support/FirmwareImages.h"
#include "support/TempDir.h"
#include "support/Throws.h"

namespace {

using test::Bytes;
using test::FrameResponder;
using test::SeenFrame;

constexpr int kErase = 1, kEnquire = 2, kProgram = 3;
constexpr int kExtErase = 21, kExtEnquire = 22, kExtProgram = 23;

class FlashTest : public ::testing::Test {
 protected:
  FlashTest() : scoped_(clock_) {
    record_ = std::make_shared<test::DeviceRecord>();
    port_.Attach(std::make_unique<test::ScriptedSerialDevice>(record_), 3, 1, 0, 0, 12);
    device_ = std::make_unique<CGarnexInterface>(&port_, params_);
  }

  void Answer(FrameResponder::Kind kind, FrameResponder::Handler handler) {
    responder_ = std::make_unique<FrameResponder>(record_->line, kind, std::move(handler));
  }
  static Bytes Loader(int command, const Bytes& data) { return test::LoaderFrame(command, data); }

  std::string FileOf(const Bytes& bytes) {
    static int n = 0;
    return dir_.Write("image" + std::to_string(++n) + ".timg", bytes);
  }

  // The progress values were reported only when they grew, within [from, to].
  void ExpectRisingProgress(int from, int to) const {
    ASSERT_FALSE(window_.progress.empty());
    EXPECT_EQ(window_.progress.front(), from);
    EXPECT_EQ(window_.progress.back(), to);
    for (size_t i = 1; i < window_.progress.size(); ++i) EXPECT_GE(window_.progress[i], window_.progress[i - 1]);
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_;
  test::PluginStrings strings_;
  test::RecordingUi ui_;
  testsupport::TempDir dir_;
  RecordingWindow window_;
  afx::Event cancel_;
  OperationParams params_{3, 0, &window_, &cancel_};
  std::shared_ptr<test::DeviceRecord> record_;
  CSerialInterface port_;
  std::unique_ptr<CGarnexInterface> device_;
  std::unique_ptr<FrameResponder> responder_;
};

TEST_F(FlashTest, EraseOutcomes) {
  struct Case {
    const char* name;
    bool legacy;                 // the loader answers the legacy commands
    std::vector<int> statuses;   // answers to successive enquiries; the last repeats
    DWORD wantCode;              // 0: success
    size_t wantEnquiries;        // per run (two sectors on success)
  };
  const Case cases[] = {
      {"done on the third poll", true, {0, 0, 1}, 0, 6},
      {"extended only", false, {1}, 0, 2},
      {"failed erase", true, {0, 2}, 802, 2},
      {"never done", true, {0}, 803, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    record_->line.Clear();
    device_ = std::make_unique<CGarnexInterface>(&port_, params_);
    size_t poll = 0;
    Answer(FrameResponder::Kind::Loader, [&](const SeenFrame& f) -> Bytes {
      if (f.type == kErase || f.type == kEnquire) {
        if (!c.legacy) return {};
      }
      if (f.type == kErase || f.type == kExtErase) {
        poll = 0;
        return Loader(f.type, {1});
      }
      const int status = c.statuses[std::min(poll++, c.statuses.size() - 1)];
      return Loader(f.type, {static_cast<BYTE>(status)});
    });
    window_.progress.clear();
    const std::int64_t start = clock_.NowNs();
    const DWORD code =
        testsupport::CodeOf<CLSDeviceException>([&] { device_->EraseFlash({0x02440000, 0x02450000}, 10, 30); });
    EXPECT_EQ(code, c.wantCode);
    const int enquire = c.legacy ? kEnquire : kExtEnquire;
    EXPECT_EQ(responder_->Count(enquire), c.wantEnquiries);
    if (c.wantCode == 0) {
      EXPECT_EQ(window_.progress, (std::vector<int>{10, 20, 30}));
      // Every poll is followed by the loader's 333 + 666 ms of quiet.
      EXPECT_GE(clock_.NowNs() - start, static_cast<std::int64_t>(c.wantEnquiries) * 999'000'000);
    }
    if (!c.legacy) {
      EXPECT_EQ(responder_->Count(kExtErase), 2u);
    }
  }
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(FlashTest, ALoaderThatIgnoresLegacyEraseIsProgrammedWithTheExtendedSetFromThenOn) {
  Answer(FrameResponder::Kind::Loader, [&](const SeenFrame& f) -> Bytes {
    if (f.type <= kProgram) return {};
    return Loader(f.type, {1});
  });
  device_->EraseFlash({0x02440000}, 0, 5);
  const BYTE data[4] = {1, 2, 3, 4};
  device_->ProgramFlashBlock(0x02440000, data, 4);
  EXPECT_EQ(responder_->Count(kErase), 1u);
  EXPECT_EQ(responder_->Count(kExtErase), 1u);
  EXPECT_EQ(responder_->Count(kProgram), 0u);
  ASSERT_EQ(responder_->Count(kExtProgram), 1u);
  EXPECT_EQ(responder_->frames.back().data, Bytes({0x02, 0x44, 0x00, 0x00, 1, 2, 3, 4}));
}

TEST_F(FlashTest, ProgramBlockFailures) {
  struct Case {
    const char* name;
    std::function<Bytes(int send)> reply;
    int failWrites;
    DWORD wantCode;
    bool wantSilent;
    size_t wantSends;
    size_t wantBoxes;
  };
  const Case cases[] = {
      {"accepted on the third send", [](int n) { return n < 3 ? Bytes{} : Loader(kProgram, {1}); }, 0, 0, false, 3, 0},
      {"status 0 is a failure", [](int) { return Loader(kProgram, {0}); }, 0, 813, false, 1, 0},
      {"silent receiver", [](int) { return Bytes{}; }, 0, 801, false, 6, 0},
      {"port failure shown once", [](int) { return Bytes{}; }, 1, 809, true, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.boxes.clear();
    int sends = 0;
    Answer(FrameResponder::Kind::Loader, [&](const SeenFrame&) { return c.reply(++sends); });
    record_->line.failWrites = c.failWrites;
    DWORD code = 0;
    bool silent = false;
    const BYTE data[2] = {0xAA, 0x55};
    try {
      device_->ProgramFlashBlock(0x02440000, data, 2);
    } catch (const CLSDeviceException& e) {
      code = e.GetCode();
      silent = e.IsSilent();
    }
    EXPECT_EQ(code, c.wantCode);
    EXPECT_EQ(silent, c.wantSilent);
    EXPECT_EQ(static_cast<size_t>(sends), c.wantSends);
    EXPECT_EQ(ui_.boxes.size(), c.wantBoxes);
  }
}

TEST_F(FlashTest, ProgramImageStopsInsideTheBlockWhereTheLengthEnds) {
  Bytes image = testsupport::Pattern(5000);
  const std::string path = FileOf(image);
  CTimgFile file(path.c_str());
  std::map<DWORD, Bytes> written;
  Answer(FrameResponder::Kind::Loader, [&](const SeenFrame& f) {
    const DWORD address = static_cast<DWORD>(f.data[0] << 24 | f.data[1] << 16 | f.data[2] << 8 | f.data[3]);
    written[address] = Bytes(f.data.begin() + 4, f.data.end());
    return Loader(f.type, {1});
  });
  // 1500 bytes from file position 1000 go to 0x02440000.
  device_->ProgramImage(file, 1000, 1500, 0x02440000, 20, 60);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0x02440000], Bytes(image.begin() + 1000, image.begin() + 2024));
  EXPECT_EQ(written[0x02440400], Bytes(image.begin() + 2024, image.begin() + 2500));
  ExpectRisingProgress(20, 60);
}

TEST_F(FlashTest, ControllerChunksOfExactly1500BytesEndWithAnEmptyReadThenTheCommit) {
  const Bytes image = testsupport::Pattern(3000);
  CTimgFile file(FileOf(image).c_str());
  std::vector<int> types;
  Bytes received;
  Answer(FrameResponder::Kind::Loader, [&](const SeenFrame& f) {
    types.push_back(f.type);
    // The chunk follows the offset and count at the head of the request.
    if (f.type == 25) received.insert(received.end(), f.data.end() - std::min<std::ptrdiff_t>(1500, static_cast<std::ptrdiff_t>(f.data.size())), f.data.end());
    return Loader(f.type, {1});
  });
  device_->ProgramControllerNow(file, 0, 5, 100);
  EXPECT_EQ(types, (std::vector<int>{25, 25, 26}));
  EXPECT_EQ(received, image);
  EXPECT_EQ(window_.progress.back(), 100);
}

// An application taking an upload: a stale upload first, then ready; each
// block accepted; install states follow the script.
struct UploadScript {
  bool busyFirst = true;
  std::vector<int> states = {1, 3, 3, 4, 5, 6};
  size_t stateIndex = 0;
  Bytes received;
  int restarts = 0;
  int queries = 0;
  bool installForm = false;

  Bytes Answer(const SeenFrame& f) {
    const Bytes& d = f.data;
    if (d[0] == 0x07) {
      ++queries;
      if (received.empty()) return test::LongReportFrame(0x9F, {0x07, 0, static_cast<BYTE>(busyFirst ? 1 : 0), 0});
      const int s = states[std::min(stateIndex++, states.size() - 1)];
      return test::LongReportFrame(0x9F, {0x07, 0, 0, static_cast<BYTE>(s)});
    }
    if (d[0] == 0x06 && d[1] == 0x02) {
      ++restarts;
      busyFirst = false;
      return test::LongReportFrame(0x9F, {0x06, 0, 0, 0});
    }
    installForm = d[1] == 0x00;
    received.insert(received.end(), d.begin() + 6, d.end());
    return test::LongReportFrame(0x9F, {0x06, 0, 2, 0});
  }
};

TEST_F(FlashTest, UploadWithInstall) {
  const Bytes image = testsupport::Pattern(20 * 1024);
  CTimgFile file(FileOf(image).c_str());
  UploadScript app;
  Answer(FrameResponder::Kind::LongReport, [&](const SeenFrame& f) { return app.Answer(f); });
  device_->UploadFirmware(file, 0, 0, 100, true);
  EXPECT_EQ(app.received, image);
  EXPECT_TRUE(app.installForm);
  EXPECT_EQ(app.restarts, 1);
  // The data phase fills the first half of the bar; states 3, 3, 4, 5 add
  // one each from 50, and state 6 completes it.
  const auto& p = window_.progress;
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.front(), 0);
  ASSERT_GE(p.size(), 7u);
  EXPECT_EQ(*std::max_element(p.begin(), p.end() - 6), 50);
  EXPECT_EQ(std::vector<int>(p.end() - 6, p.end()), (std::vector<int>{51, 52, 53, 54, 100, 100}));
  EXPECT_EQ(window_.statuses.back(), "Done. The receiver will reboot itself momentarily.");
}

TEST_F(FlashTest, UploadFailures) {
  struct Case {
    const char* name;
    std::vector<int> states;
    bool silentHandshake;
    bool refuseBlocks;
    DWORD wantCode;
    const char* wantLastStatus;
  };
  const Case cases[] = {
      {"install failed", {2, 7}, false, false, 801, "Failed"},
      {"nobody answers", {6}, true, false, 801, nullptr},
      {"block refused", {6}, false, true, 813, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    record_->line.Clear();
    window_.statuses.clear();
    CTimgFile file(FileOf(testsupport::Pattern(4096)).c_str());
    UploadScript app;
    app.states = c.states;
    int handshakes = 0;
    Answer(FrameResponder::Kind::LongReport, [&](const SeenFrame& f) -> Bytes {
      if (c.silentHandshake) {
        ++handshakes;
        return {};
      }
      if (c.refuseBlocks && f.data[0] == 0x06 && f.data[1] != 0x02) return test::LongReportFrame(0x9F, {6, 0, 3, 0});
      return app.Answer(f);
    });
    const DWORD code = testsupport::CodeOf<CLSDeviceException>([&] { device_->UploadFirmware(file, 0, 0, 100, true); });
    EXPECT_EQ(code, c.wantCode);
    if (c.wantLastStatus) {
      EXPECT_EQ(window_.LastStatus(), c.wantLastStatus);
    }
    // Nine unanswered status queries, each given its receive attempts with a resend.
    if (c.silentHandshake) {
      EXPECT_EQ(handshakes, 9 * 3);
    }
  }
}

}  // namespace
