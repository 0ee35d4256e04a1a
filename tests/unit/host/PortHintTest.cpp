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
#include <iterator>
#include <tuple>

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
  EXPECT_TRUE(Contains(hint, path + " (---------- ")) << hint;
  // The file's group is one of ours, so the mode is what stops us.
  EXPECT_TRUE(Contains(hint, "may not read and write it. A udev rule")) << hint;
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
    EXPECT_EQ(PortHint(dev + c.path, c.err, {dev, dir.File("proc"), dir.File("sys")}), want) << c.name;
  }
}

TEST(PortInventoryTest, ShowsByIdNameUsbIdentityUartAndComNumber) {
  TempDir dir;
  const std::string dev = dir.File("dev");
  const std::string sys = dir.File("sys");
  Touch(dev + "/ttyUSB0");
  Touch(dev + "/ttyACM0");
  Link("../../ttyUSB0", dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00");
  Link("../../ttyUSB0", dev + "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
  // On-board UARTs: the kernel makes ttyS nodes for ports without hardware (type 0).
  for (const char* n : {"ttyS0", "ttyS1", "ttyS3"}) Touch(dev + "/" + n);
  // sysfs: the tty's device is an interface below the USB device that carries the identity.
  const std::string usb = sys + "/devices/pci0/usb1/1-2";
  for (const auto& [file, text] : std::vector<std::pair<std::string, std::string>>{
           {"/class/tty/ttyS0/type", "4"}, {"/class/tty/ttyS0/port", "0x3F8"}, {"/class/tty/ttyS0/irq", "4"},
           {"/class/tty/ttyS1/type", "0"}, {"/class/tty/ttyS3/type", "4"}, {"/devices/pci0/usb1/1-2/idVendor", "1d50"},
           {"/devices/pci0/usb1/1-2/idProduct", "6000"}, {"/devices/pci0/usb1/1-2/manufacturer", "Korvane"},
           {"/devices/pci0/usb1/1-2/product", "QZ710"}, {"/devices/pci0/usb1/1-2/serial", "QZ0012345"}})
    Touch(sys + file, text + "\n");
  fs::create_directories(usb + "/1-2:1.0/ttyUSB0");
  Link(usb + "/1-2:1.0", sys + "/class/tty/ttyUSB0/device");
  const std::vector<std::pair<int, std::string>> mapped = {
      {3, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00"},
      {4, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0099999-if00"},
      {5, "sim:receiver"},
  };
  const auto ports = TakePortInventory(mapped, {dev, sys});
  const std::string real = fs::canonical(dev).string();
  struct Want {
    std::string device;
    int com;
    bool implicit, present;
    std::string uart, byPath;
  };
  const Want want[] = {
      {real + "/ttyUSB0", 3, false, true, "", dev + "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"},
      {real + "/ttyACM0", 0, false, true, "", ""},
      {real + "/ttyS0", 1, true, true, "16550A at 0x3F8, irq 4", ""},
      {real + "/ttyS3", 0, false, true, "16550A", ""},  // COM4 is mapped elsewhere
      {dev + "/serial/by-id/usb-Korvane_QZ710_QZ0099999-if00", 4, false, false, "", ""},
      {"sim:receiver", 5, false, true, "", ""},
  };
  ASSERT_EQ(ports.size(), std::size(want));
  for (size_t i = 0; i < ports.size(); ++i) {
    const auto& p = ports[i];
    const Want& w = want[i];
    EXPECT_EQ(std::tie(p.device, p.com, p.comImplicit, p.present, p.uart, p.byPath),
              std::tie(w.device, w.com, w.implicit, w.present, w.uart, w.byPath));
  }
  EXPECT_EQ(ports[0].byId, dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00");
  EXPECT_EQ(ports[0].vendorId + ":" + ports[0].productId, "1d50:6000");
  EXPECT_EQ(ports[0].manufacturer + " " + ports[0].product + " " + ports[0].serial, "Korvane QZ710 QZ0012345");
  // The hints name the same ports: ttyS1 has no hardware behind it.
  const std::string hint = PortHint(dev + "/ttyUSB9", ENOENT, {dev, dir.File("proc"), sys});
  EXPECT_EQ(hint, "there is no " + dev + "/ttyUSB9; present: " + dev + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00 " +
                      dev + "/ttyACM0 " + dev + "/ttyS0 " + dev + "/ttyS3");
}

TEST(PortHintTest, PermissionAdviceNeverSuggestsJoiningRoot) {
  const std::string rule =
      "A udev rule that gives it to group dialout lets you in: put `SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"1d50\", "
      "ATTRS{idProduct}==\"6000\", GROUP=\"dialout\", MODE=\"0660\"` in /etc/udev/rules.d/60-serial-receiver.rules, run "
      "`sudo udevadm control --reload-rules && sudo udevadm trigger`";
  const std::string join = "join dialout: `sudo usermod -aG dialout ann`, then log out and in again";
  struct Case {
    const char* name;
    unsigned mode, gid;
    const char* group;
    bool inGroup, listed;
    const char* serialGroup;
    std::string want;
  };
  const Case cases[] = {
      {"root only", 020600, 0, "root", false, false, "dialout",
       "/dev/ttyUSB0 (crw------- root:root): only root may open it. " + rule + ", and " + join},
      {"the root group may", 020660, 0, "root", false, false, "dialout",
       "/dev/ttyUSB0 (crw-rw---- root:root): only root may open it. " + rule + ", and " + join},
      {"no serial group on this system", 020600, 0, "root", false, false, "",
       "/dev/ttyUSB0 (crw------- root:root): only root may open it. " + rule +
           ", create the group (`sudo groupadd dialout`), and " + join},
      {"your group, but not its mode", 020600, 20, "dialout", true, true, "dialout",
       "/dev/ttyUSB0 (crw------- root:dialout): your group dialout may not read and write it. " + rule},
      {"a group you are not in", 020660, 20, "dialout", false, false, "dialout",
       "/dev/ttyUSB0 (crw-rw---- root:dialout): group dialout may read and write it, and you are not in it: `sudo "
       "usermod -aG dialout ann`, then log out and in again"},
      {"added after login", 020660, 20, "dialout", false, true, "dialout",
       "/dev/ttyUSB0 (crw-rw---- root:dialout): you were added to group dialout after this login began: log out and "
       "in again (or run `newgrp dialout`)"},
      {"in the group, refused all the same", 020660, 20, "dialout", true, true, "dialout",
       "/dev/ttyUSB0 (crw-rw---- root:dialout): you are in group dialout, which may read and write it; something else "
       "refuses you (an access list or a security module): ask the administrator"},
  };
  for (const Case& c : cases) {
    const std::string advice = PermissionAdvice({"/dev/ttyUSB0", c.mode, "root", c.gid, c.group, c.inGroup, c.listed,
                                                 "ann", c.serialGroup, "ttyUSB0", "1d50", "6000"});
    EXPECT_EQ(advice, c.want) << c.name;
    EXPECT_FALSE(Contains(advice, "-aG root")) << c.name;
  }
}
