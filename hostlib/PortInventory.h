// What `talvern ports` shows, and what the port hints name: every serial
// port with hardware behind it (USB and ACM ports, on-board UARTs whose type
// the kernel knows), with its stable by-id and by-path names, its USB
// identity or UART, and the COM number that reaches it.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct PortInfo {
  std::string device;  // /dev/ttyUSB0; the mapped path itself when it is not present
  std::string byId;    // /dev/serial/by-id/... leading to it, if any
  std::string byPath;  // /dev/serial/by-path/... leading to it, if any
  bool present = true;
  int com = 0;           // COM number that reaches the device; 0 none
  std::string comPath;   // the path the COM number is mapped to; "" when it needs no mapping
  bool comImplicit = false;  // COM n+1 reaches ttyS n without a mapping
  std::string uart;      // on-board UARTs: "16550A at 0x3F8, irq 4"
  // From sysfs, for USB devices.
  std::string vendorId, productId, manufacturer, product, serial;
};

struct PortInventoryRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

// The serial ports present, each by the name to give --port: the by-id
// links first, then the USB, ACM and on-board UART nodes that no by-id link
// reaches. An on-board ttyS counts only when sysfs knows its UART type (the
// kernel makes ttyS nodes for ports that have no hardware).
std::vector<std::string> PresentSerialPorts(const PortInventoryRoots& roots = {});

// The present ports, then the mapped COM numbers whose device is missing.
// `mapped` is the SERIALCOMM content (COM number, device path).
std::vector<PortInfo> TakePortInventory(const std::vector<std::pair<int, std::string>>& mapped,
                                        const PortInventoryRoots& roots = {});

// The names in folder `dir` (no dot files), sorted; none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& dir);

// The USB device above tty `node` in sysfs (vendor, product, ...), if any.
void ReadUsbIdentity(const std::string& sys, const std::string& node, PortInfo* info);

// "VID:PID maker product serial S" for a USB port; "" for others.
std::string UsbText(const PortInfo& port);

// What ends a listing of the ports: how a run names one on this system
// (and, when `none` were found, where COM numbers lead without a mapping).
std::string PortNamingNote(bool none);
// The help text of `talvern ports` on this system.
const char* PortsHelpText();
