// One line of advice when the system refuses to open a serial port: who owns
// it and how to get in, who holds it, or which ports do exist.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct PortHintSystem {
  // Where devices, processes and sysfs are found; tests point these at their own trees.
  std::string dev = "/dev";
  std::string proc = "/proc";
  std::string sys = "/sys";
};

// What decides whether this user may open a device, for the advice when it may not.
struct DeviceAccess {
  std::string path;
  unsigned mode = 0;        // st_mode
  std::string owner;        // user name of the owner
  unsigned gid = 0;
  std::string group;        // name of the device's group
  bool inGroup = false;     // this process has the group
  bool listedInGroup = false;  // the group database lists the user, maybe not yet in this login
  std::string user;
  std::string serialGroup;  // the system's group for serial ports ("dialout"), "" when it has none
  std::string node;         // ttyUSB0
  std::string vendorId, productId;  // USB identity, for a udev rule
};

// Advice for a device this user may not open. It never suggests joining
// the root group: for a device only root may open, it names the udev rule
// that gives it to the serial-port group, and that group.
std::string PermissionAdvice(const DeviceAccess& access);

// Advice for a failed open of `path` with errno `err`; "" when there is none to give.
std::string PortHint(const std::string& path, int err, const PortHintSystem& system = {});

// The processes that hold `path` (or what it links to) open: pid and command name.
std::vector<std::pair<int, std::string>> ProcessesHolding(const std::string& path, const std::string& proc = "/proc");

