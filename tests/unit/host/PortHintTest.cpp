// The advice after a failed open, from what the system said, and the port inventory.
#include "hostlib/PortHint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "afx/SerialDevice.h"
#include "hostlib/PortInventory.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path, const std::string& text = "") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

void Link(const std::string& target, const std::string& link) {
  fs::create_directories(fs::path(link).parent_path());
  fs::create_symlink(target, link);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(PortHintTest, PermissionDeniedNamesTheOwningGroup) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: file modes do not stop an open";
  TempDir dir;
  const std::string path = dir.File("ttyUSB0");
  Touch(path);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  DWORD error = 0;
  EXPECT_FALSE(afx::OpenSerialDevice(path, &error));
  const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure(path);
  ASSERT_EQ(failure.err, EACCES);
  const std::string hint = PortHint(failure.path, failure.err);
  EXPECT_TRUE(Contains(hint, path + " (----------) belongs to group ")) << hint;
  // The file's group is one of ours, so the mode is what stops us.
  EXPECT_TRUE(Contains(hint, "which you are in, but its mode")) << hint;
}

TEST(PortHintTest, BusyNamesTheProcessHoldingThePort) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);  // another program's lock, as far as the port knows
  DWORD error = 0;
  EXPECT_FALSE(afx::OpenSerialDevice(name, &error));
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure(name);
  EXPECT_EQ(failure.err, EWOULDBLOCK);
  const std::string hint = PortHint(failure.path, failure.err);
  EXPECT_EQ(hint, std::string(name) + " is held by this talvern (pid " + std::to_string(::getpid()) +
                      "); close it there and try again");
  const auto holders = ProcessesHolding(name);
  ASSERT_EQ(holders.size(), 1u);
  EXPECT_EQ(holders[0].first, ::getpid());

  // Once the holder lets go, the open succeeds and the failure is forgotten.
  ::close(slave);
  auto port = afx::OpenSerialDevice(name, &error);
  EXPECT_TRUE(port);
  EXPECT_EQ(afx::LastSerialOpenFailure(name).err, 0);
  port.reset();
  ::close(master);
}

TEST(PortHintTest, BusyAdviceRecognisesModemManager) {
  TempDir dir;
  const std::string proc = dir.File("proc");
  const std::string device = dir.File("dev/ttyACM0");
  Touch(device);
  Touch(proc + "/812/comm", "ModemManager\n");
  Link(device, proc + "/812/fd/7");
  Touch(proc + "/900/comm", "bash\n");
  const std::string held = PortHint(device, EBUSY, {dir.File("dev"), proc});
  EXPECT_TRUE(Contains(held, device + " is held by ModemManager (pid 812). ModemManager probes")) << held;
  EXPECT_TRUE(Contains(held, "ID_MM_DEVICE_IGNORE")) << held;

  // Not visible among the holders, but running: still the likely one for an ACM device.
  fs::remove(proc + "/812/fd/7");
  const std::string likely = PortHint(device, EBUSY, {dir.File("dev"), proc});
  EXPECT_TRUE(Contains(likely, "is in use, probably by ModemManager")) << likely;
  fs::remove_all(proc + "/812");
  const std::string unseen = PortHint(device, EBUSY, {dir.File("dev"), proc});
  EXPECT_TRUE(Contains(unseen, "a program this user cannot see; `sudo fuser -v " + device + "`")) << unseen;
}

TEST(PortHintTest, MissingListsThePortsThatExist) {
  TempDir dir;
  const std::string dev = dir.File("dev");
  struct Case {
    const char* name;
    std::vector<std::string> files;                             // under dev
    std::vector<std::pair<std::string, std::string>> links;    // target, link (under dev)
    std::string path;                                           // under dev
    int err;
    std::string want;  // with DEV for the dev folder
  };
  const Case cases[] = {
      {"nothing plugged in", {}, {}, "/ttyUSB0", ENOENT,
       "there is no DEV/ttyUSB0; no USB or on-board serial ports are present: is the receiver connected and powered?"},
      {"another port", {"ttyUSB1", "ttyS0", "ttyACM0"}, {}, "/ttyUSB0", ENOENT,
       "there is no DEV/ttyUSB0; present: DEV/ttyACM0 DEV/ttyUSB1"},
      {"by-id names stand for their devices", {"ttyUSB1", "ttyUSB2"}, {{"../../ttyUSB2", "/serial/by-id/usb-Korvane_QZ710_77-if00"}},
       "/serial/by-id/usb-Korvane_QZ710_12-if00", ENOENT,
       "there is no DEV/serial/by-id/usb-Korvane_QZ710_12-if00 (a receiver that is restarting is missing for a few "
       "seconds); present: DEV/serial/by-id/usb-Korvane_QZ710_77-if00 DEV/ttyUSB1"},
      {"node without hardware", {"ttyS3"}, {}, "/ttyS3", ENXIO,
       "DEV/ttyS3 has no device behind it; no USB or on-board serial ports are present: is the receiver connected and "
       "powered?"},
      {"not a terminal", {"notes"}, {}, "/notes", ENOTTY, "DEV/notes is not a serial device"},
      {"nothing to say", {}, {}, "/ttyUSB0", EIO, ""},
  };
  for (const Case& c : cases) {
    fs::remove_all(dev);
    fs::create_directories(dev);
    for (const auto& f : c.files) Touch(dev + "/" + f);
    for (const auto& [target, link] : c.links) Link(target, dev + link);
    std::string want = c.want;
    for (size_t at; (at = want.find("DEV")) != std::string::npos;) want.replace(at, 3, dev);
    EXPECT_EQ(PortHint(dev + c.path, c.err, {dev, dir.File("proc")}), want) << c.name;
  }
}

TEST(PortInventoryTest, ShowsByIdNameUsbIdentityAndComNumber) {
  TempDir dir;
  const std::string dev = dir.File("dev");
  const std::string sys = dir.File("sys");
  Touch(dev + "/ttyUSB0");
  Touch(dev + "/ttyACM0");
  Link("../../ttyUSB0", dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00");
  // sysfs: the tty's device is an interface below the USB device that carries the identity.
  const std::string usb = sys + "/devices/pci0/usb1/1-2";
  Touch(usb + "/idVendor", "1d50\n");
  Touch(usb + "/idProduct", "6000\n");
  Touch(usb + "/manufacturer", "Korvane\n");
  Touch(usb + "/product", "QZ710\n");
  Touch(usb + "/serial", "QZ0012345\n");
  fs::create_directories(usb + "/1-2:1.0/ttyUSB0");
  Link(usb + "/1-2:1.0", sys + "/class/tty/ttyUSB0/device");
  const std::vector<std::pair<int, std::string>> mapped = {
      {3, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00"},
      {4, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0099999-if00"},
      {5, "sim:receiver"},
  };
  const auto ports = TakePortInventory(mapped, {dev, sys});
  ASSERT_EQ(ports.size(), 4u);
  const std::string real = fs::canonical(dev).string();
  EXPECT_EQ(ports[0].device, real + "/ttyUSB0");
  EXPECT_EQ(ports[0].byId, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00");
  EXPECT_EQ(ports[0].com, 3);
  EXPECT_EQ(ports[0].vendorId + ":" + ports[0].productId, "1d50:6000");
  EXPECT_EQ(ports[0].manufacturer + " " + ports[0].product + " " + ports[0].serial, "Korvane QZ710 QZ0012345");
  EXPECT_EQ(ports[1].device, real + "/ttyACM0");
  EXPECT_EQ(ports[1].com, 0);
  EXPECT_EQ(ports[1].vendorId, "");
  EXPECT_EQ(ports[2].com, 4);
  EXPECT_FALSE(ports[2].present);
  EXPECT_EQ(ports[3].device, "sim:receiver");
  EXPECT_TRUE(ports[3].present);
}
