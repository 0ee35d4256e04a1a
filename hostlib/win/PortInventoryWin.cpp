// The port inventory on Windows: the system names its serial ports in
// HARDWARE\DEVICEMAP\SERIALCOMM, and each is reached by its COM number.
#include <algorithm>

#include "afx/System.h"
#include "hostlib/PortInventory.h"

std::vector<std::string> PresentSerialPorts(const PortInventoryRoots&) {
  std::vector<std::string> ports;
  for (const PortInfo& p : TakePortInventory({})) ports.push_back(p.device);
  return ports;
}

std::vector<PortInfo> TakePortInventory(const std::vector<std::pair<int, std::string>>& mapped,
                                        const PortInventoryRoots&) {
  std::vector<PortInfo> ports;
  for (const auto& [com, path] : mapped) {
    PortInfo p;
    p.com = com;
    // The system's own ports are mapped by their kernel device name; they
    // need no mapping of ours to be reached.
    const bool system = path.rfind("\\Device\\", 0) == 0;
    p.device = system ? "\\\\.\\COM" + std::to_string(com) : path;
    p.comPath = system ? "" : path;
    p.present = system || afx::PathExists(path);
    ports.push_back(p);
  }
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return a.com < b.com; });
  return ports;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const std::string& name : afx::FolderEntries(dir))
    if (name[0] != '.') names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

// USB identities are not read on Windows: the system names no sysfs.
void ReadUsbIdentity(const std::string&, const std::string&, PortInfo*) {}

std::string PortNamingNote(bool none) {
  return std::string(none ? "No serial ports found.\n" : "") + "Use: talvern run OP --port N for COM N.\n";
}

const char* PortsHelpText() {
  return R"(  ports                      every serial port the system names in HKEY_LOCAL_MACHINE\
                             HARDWARE\DEVICEMAP\SERIALCOMM, by its COM number; then
                             mapped COM numbers whose device is missing
)";
}

std::string UsbText(const PortInfo& p) {
  if (p.vendorId.empty()) return "";
  std::string text = p.vendorId + ":" + p.productId;
  if (!p.manufacturer.empty()) text += " " + p.manufacturer;
  if (!p.product.empty()) text += " " + p.product;
  if (!p.serial.empty()) text += " serial " + p.serial;
  return text;
}
