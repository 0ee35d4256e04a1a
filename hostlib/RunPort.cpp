#include "hostlib/RunPort.h"


#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "afx/Registry.h"
#include "afx/RegistryLock.h"
#include "afx/SerialDevice.h"
#include "afx/System.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/PortHint.h"
#include "hostlib/Simulation.h"

namespace {

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// 1..1024 for a COM number, 0 for text that is no number, -1 for a number out of range.
int ComNumber(const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return 0;
  return n >= 1 && n <= 1024 ? static_cast<int>(n) : -1;
}

void Unmap(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValue(key, path.c_str());
  RegCloseKey(key);
}

}  // namespace

RunPort::~RunPort() { Finish(false); }

std::string RunPort::MappedDevice(int port) {
  for (const auto& [com, path] : afx::ListMappedComPorts())
    if (com == port) return path;
  return "";
}

int RunPort::ForSimulation(const std::string& port, std::string* error) {
  if (!port.empty()) {
    const int n = ComNumber(port);
    if (n > 0) return n;
    *error = n < 0 ? "--port " + port + ": a COM number lies in 1..1024"
                   : "--simulate takes a COM number for --port, not a device path";
    return 0;
  }
  int n = 1;
  while (n < 1024 && !MappedDevice(n).empty() && !Simulation::IsStale(MappedDevice(n))) ++n;
  return n;
}

int RunPort::Choose(const std::string& port, Problem* problem, std::string* error, std::string* hint) {
  *problem = Problem::kNone;
  if (port.empty()) {
    const int last = ReadLastUsedCom();
    return last ? last : 1;
  }
  const int n = ComNumber(port);
  if (n > 0) return n;
  if (n < 0) {
    *problem = Problem::kUsage;
    *error = "--port " + port + ": a COM number lies in 1..1024";
    return 0;
  }
  int err = 0;
  const bool device = afx::IsCharacterDevice(port, &err);
  if (err != 0) {
    *problem = Problem::kFailure;
    *error = "cannot use --port " + port + ": " + std::strerror(err);
    *hint = PortHint(port, err);
    return 0;
  }
  if (!device) {
    *problem = Problem::kUsage;
    *error = "--port " + port + " is not a serial device: name a character device such as /dev/ttyUSB0 or a "
             "/dev/serial/by-id/... link";
    return 0;
  }
  // Other runs may be choosing a number at the same moment.
  afx::RegistryLock step;
  for (const auto& [com, path] : afx::ListMappedComPorts())
    if (path == port) return com;
  const int mapped = afx::MapDevicePathToComPort(port);
  if (mapped == 0) {
    *problem = Problem::kFailure;
    *error = "cannot map " + port + " to a COM number: " + afx::RegistryLastError();
    return 0;
  }
  mappedPath_ = port;
  return mapped;
}

void RunPort::Use(int port, bool ownPort) {
  lock_ = std::make_unique<LastUsedComLock>();
  port_ = port;
  ownPort_ = ownPort;
  inUse_ = true;
  previousLast_ = ReadLastUsedCom();
  WriteLastUsedCom(port);
}

void RunPort::Finish(bool opened) {
  if (!lock_ && (inUse_ || !mappedPath_.empty())) lock_ = std::make_unique<LastUsedComLock>();
  const bool keep = opened && ownPort_;
  if (!mappedPath_.empty() && !keep) Unmap(mappedPath_);
  mappedPath_.clear();
  if (inUse_ && !keep) RestoreLastUsedCom(previousLast_);
  inUse_ = false;
  lock_.reset();
}
