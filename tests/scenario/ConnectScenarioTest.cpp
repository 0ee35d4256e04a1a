// Bringing the virtual receiver into its monitor and to speed through the receiver interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "afx/DeviceManager.h"
#include "afx/Registry.h"
#include "device/BreakInfo.h"
#include "support/SimScenario.h"
#include "support/Throws.h"

namespace {

void SetMaxBaud(DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(key, "MaxBaud", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

struct RecordingDeviceManager : afx::DeviceManager {
  std::vector<std::string> calls;
  bool DisableDevice(const std::string& name) override {
    calls.push_back("disable " + name);
    return true;
  }
  bool EnableDevice(const std::string& name) override {
    calls.push_back("enable " + name);
    return true;
  }
};

}  // namespace

TEST(ConnectScenario, SwitchesToTheRegisteredMaximumRate) {
  struct Case {
    const char* name;
    DWORD maxBaud;  // 0: no value
    bool switchBaud;
    const char* profile;
    DWORD want;
    bool asksSwitch;
  };
  const Case cases[] = {
      {"default", 0, true, "", 115200, true},
      {"38400", 38400, true, "", 38400, true},
      {"19200 is no candidate", 19200, true, "", 115200, true},
      {"no switch", 0, false, "", 9600, false},
      {"refused switch", 0, true, "monitor.switch_baud = refuse\n", 9600, true},
      {"already in monitor", 57600, true, "mode = monitor\n", 57600, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimScenario s(c.profile);
    if (c.maxBaud) SetMaxBaud(c.maxBaud);
    test::Connection link(s);
    link.device.Connect(c.switchBaud);
    EXPECT_TRUE(link.device.IsConnected());
    EXPECT_EQ(link.port.GetBaudRate(), c.want);
    EXPECT_EQ(s.Receiver().MonitorSettings().baudRate, c.want);
    EXPECT_EQ(s.Asked(17, "loader"), c.asksSwitch);
    EXPECT_EQ(s.Asked(0x87), std::string(c.profile) != "mode = monitor\n");
    EXPECT_EQ(s.window.progress, (std::vector<int>{40, 80, 100}));
    EXPECT_EQ(link.device.GetGarnexInfo().GetProductId(), 100);
    EXPECT_EQ(link.device.GetFlashStart(), 0x02400000u);
    EXPECT_EQ(link.device.GetFlashEnd(), 0x02440000u);
    EXPECT_FALSE(link.device.IsDefaultLayout());
  }
}

TEST(ConnectScenario, FlashLayoutAndLoaderRevision) {
  test::SimScenario s("controller.version = 0x35\nmonitor.chip = Corval 5\n");
  test::Connection link(s);
  link.device.Connect(true);
  EXPECT_TRUE(link.device.IsCorval5());
  int revision = 0;
  link.device.ReadLoaderRevision(&revision);
  EXPECT_EQ(revision, 305);
  CLSDeviceInterface::SectorList sectors;
  link.device.BuildSectorList(0x02400000, 0x02440000, sectors);
  EXPECT_EQ(sectors, (CLSDeviceInterface::SectorList{0x02400000, 0x02404000, 0x02408000, 0x0240C000, 0x02410000,
                                                     0x02420000, 0x02430000}));
  link.device.BuildSectorListForSize(0x20001, sectors);
  EXPECT_EQ(sectors, (CLSDeviceInterface::SectorList{0x02440000, 0x02450000, 0x02460000}));
  link.device.Reboot();
  // The receiver reads it later; the host side has written it.
  EXPECT_TRUE(s.HostSent({0x02, 0x04, 0x00, 0x00, 0x00, 0x04, 0x03}));
}

TEST(ConnectScenario, UsbLinkIsReopenedAroundRestarts) {
  test::SimScenario s("port.number = 15\n");
  RecordingDeviceManager manager;
  afx::DeviceManager* previous = afx::SetDeviceManager(&manager);
  test::Connection link(s);
  link.device.Connect(true);
  afx::SetDeviceManager(previous);
  const std::string name = "Korvane GNSS (COM" + std::to_string(s.Com()) + ")";
  EXPECT_EQ(manager.calls, (std::vector<std::string>{"disable " + name, "enable " + name}));
  EXPECT_TRUE(link.device.IsUsbLink());
  EXPECT_FALSE(s.Asked(17, "loader"));  // no speed change over USB
  EXPECT_EQ(s.window.progress, (std::vector<int>{40, 80, 100}));
  link.device.Reboot();
  EXPECT_TRUE(link.port.IsOpen());
  EXPECT_EQ(s.Receiver().Mode(), sim::ReceiverMode::Application);
}

TEST(ConnectScenario, ReceiverThatStaysInItsApplication) {
  // The monitor never comes: the reboot request is ignored.
  test::SimScenario s("fault = silence n=1 type=0x87\n");
  test::Connection link(s);
  try {
    link.device.Connect(true);
    FAIL() << "connected";
  } catch (const CLSDeviceException& e) {
    EXPECT_EQ(e.GetCode(), 819u);
    EXPECT_EQ(e.GetPortNumber(), static_cast<DWORD>(s.Com()));
  }
}

TEST(ConnectScenario, WaitsForTheRestartItsReceiverNeeds) {
  // From the reboot request to the next question: the common restart, longer
  // when the port mode announces a slow one, plus the model's own wait.
  struct Case {
    const char* profile;
    std::int64_t waitMs;
  };
  const Case cases[] = {
      {"product = QZ708\n", 14000},
      {"product = QZ708\nport.mode = T\n", 24000},
      {"product = QZ708\nport.mode = W\n", 24000},
      {"product = QZ710\n", 14000 + 18000},
      {"product = QZ740\n", 14000 + 6000},
      {"product = QZ772\nport.mode = T\n", 24000 + 10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    test::SimScenario s(c.profile);
    test::Connection link(s);
    EXPECT_TRUE(link.device.EnterMonitor());
    std::int64_t rebootAt = -1;
    std::int64_t nextAt = -1;
    for (const auto& e : s.Receiver().GetTranscript().Entries()) {
      if (e.note.rfind("request", 0) != 0) continue;
      if (rebootAt >= 0) {
        nextAt = e.timeNs;
        break;
      }
      if (e.note.rfind("request report 0x87", 0) == 0) rebootAt = e.timeNs;
    }
    if (rebootAt < 0 || nextAt <= rebootAt) {
      ADD_FAILURE() << "no reboot request, or nothing asked after it";
      continue;
    }
    // The next request is a break, noted at its end: a quiet line, then the break itself.
    const std::int64_t wantMs = c.waitMs + 2 * static_cast<std::int64_t>(CBreakInfo::kBreakMs);
    const std::int64_t gapMs = (nextAt - rebootAt) / 1000000;
    EXPECT_GE(gapMs, wantMs);
    EXPECT_LT(gapMs, wantMs + 100);
  }
}

TEST(ConnectScenario, DetectionAsksTheUserWhenNoReceiverAnswers) {
  // One detection is three breaks, each followed by a break-info request.
  struct Case {
    const char* what;
    const char* profile;
    bool prompt;
    std::vector<int> answers;
    const char* boxText;  // the start of every box shown; nullptr: none
    std::size_t boxes;
    int result;  // 1 found, 0 not found, -1 the user cancelled
  };
  const Case cases[] = {
      {"answers", "", true, {}, nullptr, 0, 1},
      {"silent, not asked", "fault = silence n=1 count=0\n", false, {}, nullptr, 0, 0},
      {"silent once, Retry", "fault = silence n=1 count=6\n", true, {IDRETRY}, "No device detected!", 1, 1},
      {"silent, Retry then Cancel", "fault = silence n=1 count=0\n", true, {IDRETRY, IDCANCEL},
       "No device detected!", 2, -1},
      {"another product", "product = XR90\n", false, {IDCANCEL}, "Invalid Device!", 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::SimScenario s(c.profile);
    s.ui.answers.assign(c.answers.begin(), c.answers.end());
    test::Connection link(s);
    int result = -1;
    try {
      result = link.device.DetectReceiver(c.prompt) ? 1 : 0;
    } catch (const CUserException&) {
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(s.ui.boxes.size(), c.boxes);
    const std::string com = "COM" + std::to_string(s.Com());
    for (const auto& box : s.ui.boxes) {
      EXPECT_EQ(box.text.rfind(c.boxText, 0), 0u) << box.text;
      EXPECT_NE(box.text.find(com), std::string::npos) << box.text;
      EXPECT_EQ(box.flags & 0xF, MB_RETRYCANCEL);
    }
  }
}

TEST(ConnectScenario, ServiceRequestsInTheMonitor) {
  struct Case {
    const char* profile;
    DWORD productIdError;  // 0: accepted
  };
  const Case cases[] = {{"", 0}, {"fault = nak n=1 type=13\n", 814}, {"fault = silence n=1 type=13\n", 801}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    test::SimScenario s(c.profile);
    test::Connection link(s);
    link.device.Connect(true);

    EXPECT_EQ(testsupport::CodeOf<CLSDeviceException>([&] { link.device.WriteProductId("SN-4471"); }), c.productIdError);
    if (c.productIdError == 0) {
      std::vector<std::uint8_t> field(32, 0);
      std::memcpy(field.data(), "SN-4471", 7);
      EXPECT_EQ(s.Receiver().ProductIdWritten(), field);
    }

    // Only modes 1 and 2 exist; anything else is not sent at all.
    BYTE mode = 0;
    link.device.SetAutoOn(2);
    ASSERT_TRUE(link.device.GetAutoOn(&mode));
    EXPECT_EQ(mode, 2);
    link.device.SetAutoOn(3);
    ASSERT_TRUE(link.device.GetAutoOn(&mode));
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(s.Receiver().AutoOn(), 2);
    const std::vector<int> loader = s.Requests("loader");
    EXPECT_EQ(std::count(loader.begin(), loader.end(), 29), 1);
  }
}
