// Bringing the virtual receiver into its monitor and to speed through the receiver interface.
#include <gtest/gtest.h>

#include "afx/DeviceManager.h"
#include "afx/Registry.h"
#include "device/GarnexInterface.h"
#include "port/SerialInterface.h"
#include "support/SimScenario.h"

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
    CSerialInterface port;
    port.Open(static_cast<UINT>(s.Com()), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
    CGarnexInterface device(&port, s.params);
    device.Connect(c.switchBaud);
    EXPECT_TRUE(device.IsConnected());
    EXPECT_EQ(port.GetBaudRate(), c.want);
    EXPECT_EQ(s.Receiver().MonitorSettings().baudRate, c.want);
    EXPECT_EQ(s.Asked(17, "loader"), c.asksSwitch);
    EXPECT_EQ(s.Asked(0x87), std::string(c.profile) != "mode = monitor\n");
    EXPECT_EQ(s.window.progress, (std::vector<int>{40, 80, 100}));
    EXPECT_EQ(device.GetGarnexInfo().GetProductId(), 100);
    EXPECT_EQ(device.GetFlashStart(), 0x02400000u);
    EXPECT_EQ(device.GetFlashEnd(), 0x02440000u);
    EXPECT_FALSE(device.IsDefaultLayout());
  }
}

TEST(ConnectScenario, FlashLayoutAndLoaderRevision) {
  test::SimScenario s("controller.version = 0x35\nmonitor.chip = Corval 5\n");
  CSerialInterface port;
  port.Open(static_cast<UINT>(s.Com()), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
  CGarnexInterface device(&port, s.params);
  device.Connect(true);
  EXPECT_TRUE(device.IsCorval5());
  int revision = 0;
  device.ReadLoaderRevision(&revision);
  EXPECT_EQ(revision, 305);
  CLSDeviceInterface::SectorList sectors;
  device.BuildSectorList(0x02400000, 0x02440000, sectors);
  EXPECT_EQ(sectors, (CLSDeviceInterface::SectorList{0x02400000, 0x02404000, 0x02408000, 0x0240C000, 0x02410000,
                                                     0x02420000, 0x02430000}));
  device.BuildSectorListForSize(0x20001, sectors);
  EXPECT_EQ(sectors, (CLSDeviceInterface::SectorList{0x02440000, 0x02450000, 0x02460000}));
  device.Reboot();
  // The receiver reads it later; the host side has written it.
  EXPECT_TRUE(s.HostSent({0x02, 0x04, 0x00, 0x00, 0x00, 0x04, 0x03}));
}

TEST(ConnectScenario, UsbLinkIsReopenedAroundRestarts) {
  test::SimScenario s("port.number = 15\n");
  RecordingDeviceManager manager;
  afx::DeviceManager* previous = afx::SetDeviceManager(&manager);
  CSerialInterface port;
  port.Open(static_cast<UINT>(s.Com()), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
  CGarnexInterface device(&port, s.params);
  device.Connect(true);
  afx::SetDeviceManager(previous);
  const std::string name = "Korvane GNSS (COM" + std::to_string(s.Com()) + ")";
  EXPECT_EQ(manager.calls, (std::vector<std::string>{"disable " + name, "enable " + name}));
  EXPECT_TRUE(device.IsUsbLink());
  EXPECT_FALSE(s.Asked(17, "loader"));  // no speed change over USB
  EXPECT_EQ(s.window.progress, (std::vector<int>{40, 80, 100}));
  device.Reboot();
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(s.Receiver().Mode(), sim::ReceiverMode::Application);
}

TEST(ConnectScenario, ReceiverThatStaysInItsApplication) {
  // The monitor never comes: the reboot request is ignored.
  test::SimScenario s("fault = silence n=1 type=0x87\n");
  CSerialInterface port;
  port.Open(static_cast<UINT>(s.Com()), 1, 0, 0, CSerialInterface::kDefaultBaudIndex);
  CGarnexInterface device(&port, s.params);
  try {
    device.Connect(true);
    FAIL() << "connected";
  } catch (const CLSDeviceException& e) {
    EXPECT_EQ(e.GetCode(), 819u);
    EXPECT_EQ(e.GetPortNumber(), static_cast<DWORD>(s.Com()));
  }
}
