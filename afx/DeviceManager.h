// The operating system's device manager, reduced to what the plug-in needs:
// taking a device node offline and back by its friendly name, so that a
// USB virtual serial port that vanished during a receiver restart is found
// again. This platform has no such service; the default only traces that it
// could not and lets the caller go on. A host, a test or the virtual receiver
// installs its own.
#pragma once
#include <string>

namespace afx {

class DeviceManager {
 public:
  virtual ~DeviceManager() = default;
  // True when the node named `friendlyName` was disabled (or enabled).
  virtual bool DisableDevice(const std::string& friendlyName);
  virtual bool EnableDevice(const std::string& friendlyName);
};

DeviceManager& GetDeviceManager();
// Installs `manager` (not owned; nullptr restores the default). Returns the previous one.
DeviceManager* SetDeviceManager(DeviceManager* manager);

}  // namespace afx
