#include "sim/SimAttach.h"

#include <map>
#include <mutex>

#include "afx/Clock.h"
#include "afx/Registry.h"
#include "sim/SimSerialDevice.h"

namespace sim {

namespace {

constexpr char kPrefix[] = "sim:";

// The receivers reachable through the "sim:" provider.
struct Attached {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<SimAttachment>> byPath;
};
Attached& Table() {
  static Attached table;
  return table;
}

std::unique_ptr<afx::SerialDevice> Open(const std::string& path, DWORD* error) {
  const auto attachment = FindAttachment(path);
  if (!attachment) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  attachment->Receiver().RunUntil(afx::GetClock().NowNs());
  if (!attachment->Receiver().LinkPresent()) {
    // A USB receiver that is restarting has no device at all.
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (attachment->IsOpen()) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return std::make_unique<SimSerialDevice>(path, attachment);
}

void Unmap(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValue(key, path.c_str());
  RegCloseKey(key);
}

}  // namespace

std::shared_ptr<SimAttachment> FindAttachment(const std::string& path) {
  Attached& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  const auto it = t.byPath.find(path);
  return it == t.byPath.end() ? nullptr : it->second;
}

std::shared_ptr<SimAttachment> Attach(const Profile& profile, int com, std::string* error, const std::string& name) {
  std::string ignored;
  if (!error) error = &ignored;
  Attached& t = Table();
  std::shared_ptr<SimAttachment> attachment;
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    std::string n = name;
    for (int k = 1; n.empty(); ++k)
      if (!t.byPath.count(kPrefix + ("qz7xx" + std::to_string(k)))) n = "qz7xx" + std::to_string(k);
    if (t.byPath.count(kPrefix + n)) {
      *error = "a receiver named " + n + " is already attached";
      return nullptr;
    }
    attachment = std::make_shared<SimAttachment>(n, profile);
    if (t.byPath.empty()) afx::RegisterSerialDeviceProvider(kPrefix, Open);
    t.byPath[attachment->Path()] = attachment;
  }
  if (com > 0) {
    const int mapped = afx::MapDevicePathToComPort(attachment->Path(), com);
    if (mapped == 0) {
      *error = "cannot map " + attachment->Path() + " to a COM port: " + afx::RegistryLastError();
      Detach(attachment);
      return nullptr;
    }
    attachment->com_ = mapped;
  }
  return attachment;
}

void Detach(const std::shared_ptr<SimAttachment>& attachment) {
  if (!attachment) return;
  Attached& t = Table();
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.byPath.erase(attachment->Path());
    if (t.byPath.empty()) afx::UnregisterSerialDeviceProvider(kPrefix);
  }
  if (attachment->com_ > 0) Unmap(attachment->Path());
  attachment->attached_ = false;
  attachment->com_ = 0;
}

}  // namespace sim
