#include "hostlib/PortInventory.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace {

std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
}

std::string ReadAttribute(const std::string& dir, const char* name) {
  std::string value;
  std::getline(std::ifstream(dir + "/" + name), value);
  return value;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The kernel's UART types (serial_core.h); 0 is a port without hardware.
const char* UartName(int type) {
  static const char* const kNames[] = {nullptr,  "8250",   "16450",   "16550", "16550A", "Cirrus",  "16650",    "16650V2",
                                       "16750",  "Startech", "16C950", "16654", "16850",  "RSA",     "NS16550A"};
  return type > 0 && type < static_cast<int>(std::size(kNames)) ? kNames[type] : nullptr;
}

// "16550A at 0x3F8, irq 4" for an on-board ttyS with hardware; "" without.
std::string UartOf(const std::string& sys, const std::string& node) {
  const std::string dir = sys + "/class/tty/" + node;
  const std::string type = ReadAttribute(dir, "type");
  const int code = std::atoi(type.c_str());
  if (type.empty() || code <= 0) return "";
  const char* name = UartName(code);
  std::string text = name ? name : "UART type " + type;
  const std::string port = ReadAttribute(dir, "port");
  if (!port.empty() && port != "0x0") text += " at " + port;
  const std::string irq = ReadAttribute(dir, "irq");
  if (!irq.empty() && irq != "0") text += ", irq " + irq;
  return text;
}

bool IsSerialNode(const PortInventoryRoots& roots, const std::string& name) {
  if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM") || StartsWith(name, "ttyAMA")) return true;
  return StartsWith(name, "ttyS") && !UartOf(roots.sys, name).empty();
}

}  // namespace

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ReadUsbIdentity(const std::string& sys, const std::string& node, PortInfo* info) {
  // The nearest ancestor of the tty's device with an idVendor is the USB device.
  std::string dir = RealPath(sys + "/class/tty/" + node + "/device");
  for (int depth = 0; !dir.empty() && depth < 8; ++depth) {
    struct stat st {};
    if (::stat((dir + "/idVendor").c_str(), &st) == 0) {
      info->vendorId = ReadAttribute(dir, "idVendor");
      info->productId = ReadAttribute(dir, "idProduct");
      info->manufacturer = ReadAttribute(dir, "manufacturer");
      info->product = ReadAttribute(dir, "product");
      info->serial = ReadAttribute(dir, "serial");
      return;
    }
    const size_t slash = dir.rfind('/');
    if (slash == 0 || slash == std::string::npos || dir.size() <= sys.size()) return;
    dir.resize(slash);
  }
}

std::vector<std::string> PresentSerialPorts(const PortInventoryRoots& roots) {
  std::vector<std::string> ports;
  std::set<std::string> reached;
  const std::string byId = roots.dev + "/serial/by-id";
  for (const std::string& name : FolderEntries(byId)) {
    ports.push_back(byId + "/" + name);
    reached.insert(RealPath(byId + "/" + name));
  }
  for (const std::string& name : FolderEntries(roots.dev)) {
    if (!IsSerialNode(roots, name)) continue;
    const std::string path = roots.dev + "/" + name;
    if (!reached.count(RealPath(path))) ports.push_back(path);
  }
  return ports;
}

std::vector<PortInfo> TakePortInventory(const std::vector<std::pair<int, std::string>>& mapped,
                                        const PortInventoryRoots& roots) {
  std::vector<PortInfo> ports;
  std::map<std::string, size_t> byDevice;  // real device path -> index
  for (const std::string& path : PresentSerialPorts(roots)) {
    const std::string real = RealPath(path);
    if (real.empty() || byDevice.count(real)) continue;
    PortInfo info;
    info.device = real;
    if (path.find("/serial/by-id/") != std::string::npos) info.byId = path;
    const std::string node = real.substr(real.rfind('/') + 1);
    ReadUsbIdentity(roots.sys, node, &info);
    if (StartsWith(node, "ttyS")) info.uart = UartOf(roots.sys, node);
    byDevice[real] = ports.size();
    ports.push_back(info);
  }
  const std::string byPath = roots.dev + "/serial/by-path";
  for (const std::string& name : FolderEntries(byPath)) {
    const auto it = byDevice.find(RealPath(byPath + "/" + name));
    if (it != byDevice.end() && ports[it->second].byPath.empty()) ports[it->second].byPath = byPath + "/" + name;
  }
  std::set<int> mappedComs;
  for (const auto& [com, path] : mapped) {
    mappedComs.insert(com);
    const std::string real = RealPath(path);
    const auto it = real.empty() ? byDevice.end() : byDevice.find(real);
    if (it != byDevice.end() && ports[it->second].com == 0) {
      ports[it->second].com = com;
      ports[it->second].comPath = path;
      continue;
    }
    PortInfo info;
    info.device = path;
    // Provided devices ("sim:", "replay:") have no node but are there while their provider is.
    info.present = !real.empty() || path.rfind('/', 0) != 0;
    info.com = com;
    info.comPath = path;
    ports.push_back(info);
  }
  // COM n without a mapping is ttyS(n-1).
  for (PortInfo& p : ports) {
    const std::string node = p.device.substr(p.device.rfind('/') + 1);
    if (p.com != 0 || !p.present || !StartsWith(node, "ttyS")) continue;
    char* end = nullptr;
    const long n = std::strtol(node.c_str() + 4, &end, 10);
    if (*end != '\0' || n < 0 || n >= 1024 || mappedComs.count(static_cast<int>(n) + 1)) continue;
    p.com = static_cast<int>(n) + 1;
    p.comImplicit = true;
  }
  return ports;
}

std::string PortNamingNote(bool none) {
  return std::string(none ? "No serial ports found; COM n without a mapping is /dev/ttyS(n-1).\n" : "") +
         "Use: talvern run OP --port N, or --port /dev/serial/by-id/... to map a device to a COM number.\n";
}

const char* PortsHelpText() {
  return R"(  ports                      every serial port with hardware behind it: USB and ACM
                             ports, on-board UARTs whose type the kernel knows (a ttyS
                             with a 16550A at 0x3F8 is the PC's COM1), with their
                             /dev/serial/by-id and by-path names, USB vendor:product,
                             maker, product and serial number, and the COM number that
                             reaches them (mapped in HKEY_LOCAL_MACHINE\HARDWARE\
                             DEVICEMAP\SERIALCOMM, or COM n+1 for ttyS n); then mapped COM
                             numbers whose device is missing
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
