#include "afx/SerialDevice.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "afx/Clock.h"
#include "afx/Registry.h"
#include "afx/SerialReadTimer.h"
#include "afx/Trace.h"

namespace afx {

namespace {
constexpr char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::mutex g_mutex;
std::map<std::string, SerialDeviceOpener>& Providers() {
  static std::map<std::string, SerialDeviceOpener> providers;
  return providers;
}
SerialDeviceWrapper& Wrapper() {
  static SerialDeviceWrapper wrapper;
  return wrapper;
}
std::map<std::string, int>& OpenFailures() {
  static std::map<std::string, int> failures;
  return failures;
}
constexpr size_t kOpenFailuresKept = 16;

// "COM12" or "\\.\COM12" -> 12; 0 for anything else.
int ComNumber(const std::string& name) {
  std::string n = name;
  if (n.rfind("\\\\.\\", 0) == 0) n = n.substr(4);
  if (n.size() < 4 || (n.compare(0, 3, "COM") != 0 && n.compare(0, 3, "com") != 0)) return 0;
  int value = 0;
  for (size_t i = 3; i < n.size(); ++i) {
    if (n[i] < '0' || n[i] > '9' || value > 100000) return 0;
    value = value * 10 + (n[i] - '0');
  }
  return value;
}
}  // namespace

bool SerialDevice::Read(void* buffer, DWORD count, DWORD* got) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  *got = 0;
  const std::int64_t deferUntil = std::exchange(deferUntilNs_, INT64_MIN);
  if (count == 0) return true;
  // A reply is mostly read a byte at a time from what one wake-up brought in:
  // those reads need neither the clock nor a time-out.
  if (deferUntil == INT64_MIN && Held() >= count) return ReadAvailable(out, count, got);
  Clock& clock = GetClock();
  const std::int64_t issued = clock.NowNs();
  const std::int64_t start = std::max(issued, deferUntil);
  SerialReadTimer timer(timeouts_, count, start);
  if (!timer.Complete(0, start) && !WaitReadable(timer.Deadline(0))) return false;
  if (start > issued) clock.SleepUntilNs(start);
  for (;;) {
    DWORD n = 0;
    if (!ReadAvailable(out + *got, count - *got, &n)) return false;
    *got += n;
    if (*got == count) return true;
    const std::int64_t now = clock.NowNs();
    if (n > 0) timer.BytesArrived(now);
    if (timer.Complete(*got, now)) return true;
    if (!WaitReadable(timer.Deadline(*got))) return false;
  }
}

void RegisterSerialDeviceProvider(const std::string& prefix, SerialDeviceOpener opener) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Providers()[prefix] = std::move(opener);
}

void UnregisterSerialDeviceProvider(const std::string& prefix) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Providers().erase(prefix);
}

void SetSerialDeviceWrapper(SerialDeviceWrapper wrapper) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Wrapper() = std::move(wrapper);
}

std::vector<std::pair<int, std::string>> ListMappedComPorts() {
  std::vector<std::pair<int, std::string>> ports;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD nameLen = sizeof name;
    BYTE data[64];
    DWORD dataLen = sizeof data - 1;
    DWORD type = 0;
    const LONG rc = RegEnumValue(key, i, name, &nameLen, nullptr, &type, data, &dataLen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    data[std::min<DWORD>(dataLen, sizeof data - 1)] = 0;
    const int number = ComNumber(reinterpret_cast<const char*>(data));
    if (number > 0) ports.emplace_back(number, std::string(name, nameLen));
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end());
  return ports;
}

std::string ResolveSerialDeviceName(const std::string& name) {
  const int number = ComNumber(name);
  if (number == 0) return name;
  for (const auto& [com, path] : ListMappedComPorts())
    if (com == number && path.rfind("\\Device\\", 0) != 0) return path;
  return SystemComPortPath(number);
}

int MapDevicePathToComPort(const std::string& path, int first) {
  const auto ports = ListMappedComPorts();
  for (const auto& [com, p] : ports)
    if (p == path) return com;
  int number = std::max(first, 1);
  for (const auto& [com, p] : ports)
    if (com == number) ++number;
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return 0;
  const std::string data = "COM" + std::to_string(number);
  const LONG rc = RegSetValueEx(key, path.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? number : 0;
}

void RecordSerialOpenFailure(const std::string& path, int err) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& failures = OpenFailures();
  if (err == 0) {
    failures.erase(path);
    return;
  }
  if (failures.size() >= kOpenFailuresKept && !failures.count(path)) failures.clear();
  failures[path] = err;
}

SerialOpenFailure LastSerialOpenFailure(const std::string& name) {
  const std::string path = ResolveSerialDeviceName(name);
  std::lock_guard<std::mutex> lock(g_mutex);
  const auto& failures = OpenFailures();
  const auto it = failures.find(path);
  return SerialOpenFailure{path, it == failures.end() ? 0 : it->second};
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name, DWORD* error) {
  DWORD ignored = 0;
  if (!error) error = &ignored;
  *error = 0;
  const std::string path = ResolveSerialDeviceName(name);
  SerialDeviceOpener opener;
  SerialDeviceWrapper wrapper;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [prefix, o] : Providers())
      if (path.rfind(prefix, 0) == 0) opener = o;
    wrapper = Wrapper();
  }
  std::unique_ptr<SerialDevice> device = opener ? opener(path, error) : OpenSystemSerialDevice(path, error);
  if (!device) {
    if (*error == 0) *error = ERROR_FILE_NOT_FOUND;
    AfxTrace("OpenSerialDevice(%s -> %s) failed: error %u", name.c_str(), path.c_str(), *error);
    return nullptr;
  }
  return wrapper ? wrapper(std::move(device)) : std::move(device);
}

}  // namespace afx
