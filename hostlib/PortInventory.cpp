#include "hostlib/PortInventory.h"

#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "hostlib/PortHint.h"

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

// The USB device above a tty in sysfs: the nearest ancestor with an idVendor.
void ReadUsbIdentity(const std::string& sys, const std::string& node, PortInfo* info) {
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

}  // namespace

std::vector<PortInfo> TakePortInventory(const std::vector<std::pair<int, std::string>>& mapped,
                                        const PortInventoryRoots& roots) {
  std::vector<PortInfo> ports;
  std::map<std::string, size_t> byDevice;  // real device path -> index
  for (const std::string& path : PresentSerialPorts(roots.dev)) {
    const std::string real = RealPath(path);
    if (real.empty() || byDevice.count(real)) continue;
    PortInfo info;
    info.device = real;
    if (path.find("/serial/by-id/") != std::string::npos) info.byId = path;
    const std::string node = real.substr(real.rfind('/') + 1);
    ReadUsbIdentity(roots.sys, node, &info);
    byDevice[real] = ports.size();
    ports.push_back(info);
  }
  for (const auto& [com, path] : mapped) {
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
  return ports;
}

std::string UsbText(const PortInfo& p) {
  if (p.vendorId.empty()) return "";
  std::string text = p.vendorId + ":" + p.productId;
  if (!p.manufacturer.empty()) text += " " + p.manufacturer;
  if (!p.product.empty()) text += " " + p.product;
  if (!p.serial.empty()) text += " serial " + p.serial;
  return text;
}
