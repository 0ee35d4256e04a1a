#include "hostlib/ReplayPort.h"

#include <limits.h>
#include <stdlib.h>

#include "afx/Registry.h"
#include "afx/ReplaySession.h"
#include "afx/SerialDevice.h"

ReplayPort::~ReplayPort() {
  if (session_) session_->Uninstall();
  if (!mappedPath_.empty()) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValue(key, mappedPath_.c_str());
      RegCloseKey(key);
    }
  }
}

bool ReplayPort::Start(const std::string& file, int* port, std::string* error) {
  char real[PATH_MAX];
  const std::string path = ::realpath(file.c_str(), real) ? std::string(real) : file;
  session_ = afx::ReplaySession::Load(path, error);
  if (!session_) return false;
  session_->Install();
  const bool known = [&] {
    for (const auto& [com, p] : afx::ListMappedComPorts())
      if (p == session_->DevicePath()) return true;
    return false;
  }();
  *port = afx::MapDevicePathToComPort(session_->DevicePath());
  if (*port == 0) {
    *error = "cannot map " + session_->DevicePath() + " to a COM number: " + afx::RegistryLastError();
    return false;
  }
  if (!known) mappedPath_ = session_->DevicePath();
  return true;
}

std::string ReplayPort::Verdict() const {
  if (!session_) return "";
  const std::string deviation = session_->Deviation();
  return deviation.empty() ? session_->Unfinished() : deviation;
}
