#include "afx/DeviceManager.h"

#include <atomic>

#include "afx/Trace.h"

namespace afx {

namespace {
DeviceManager& DefaultManager() {
  static DeviceManager manager;
  return manager;
}
std::atomic<DeviceManager*> g_manager{nullptr};
}  // namespace

bool DeviceManager::DisableDevice(const std::string& friendlyName) {
  TRACE("Device manager: cannot disable \"%s\" on this system\n", friendlyName.c_str());
  return false;
}

bool DeviceManager::EnableDevice(const std::string& friendlyName) {
  TRACE("Device manager: cannot enable \"%s\" on this system\n", friendlyName.c_str());
  return false;
}

DeviceManager& GetDeviceManager() {
  DeviceManager* manager = g_manager.load();
  return manager ? *manager : DefaultManager();
}

DeviceManager* SetDeviceManager(DeviceManager* manager) { return g_manager.exchange(manager); }

}  // namespace afx
