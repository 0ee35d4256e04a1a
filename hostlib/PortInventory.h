// What `talvern ports` shows: every serial port there is, with its stable
// by-id name, its USB identity and the COM number that reaches it.
#pragma once
#include <string>
#include <vector>

struct PortInfo {
  std::string device;  // /dev/ttyUSB0; the mapped path itself when it is not present
  std::string byId;    // /dev/serial/by-id/... leading to it, if any
  bool present = true;
  int com = 0;         // COM number mapped to the device or its by-id name; 0 none
  std::string comPath; // the path the COM number is mapped to
  // From sysfs, for USB devices.
  std::string vendorId, productId, manufacturer, product, serial;
};

struct PortInventoryRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

// The present ports, then the mapped COM numbers whose device is missing.
// `mapped` is the SERIALCOMM content (COM number, device path).
std::vector<PortInfo> TakePortInventory(const std::vector<std::pair<int, std::string>>& mapped,
                                        const PortInventoryRoots& roots = {});

// "VID:PID maker product serial S" for a USB port; "" for others.
std::string UsbText(const PortInfo& port);
