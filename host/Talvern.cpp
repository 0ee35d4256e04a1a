#include "host/Talvern.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "afx/Clock.h"
#include "afx/Dialog.h"
#include "afx/Format.h"
#include "afx/Registry.h"
#include "afx/SerialDevice.h"
#include "afx/Window.h"
#include "host/Console.h"
#include "host/ConsolePresenter.h"
#include "host/HostWindow.h"
#include "host/PluginLoader.h"
#include "host/RegCommand.h"
#include "host/Simulation.h"

namespace {

constexpr int kExitUsage = 64;
constexpr char kHostKey[] = "SOFTWARE\\Korvane\\Talvern";

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool MakeDirs(const std::string& path) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string DataFolder() {
  std::string base = Getenv("XDG_DATA_HOME");
  if (base.empty()) base = Getenv("HOME") + "/.local/share";
  return base + "/talvern";
}

bool ReadDword(const char* name, DWORD* value) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = sizeof *value;
  const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD;
}

bool WriteDword(const char* name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// Ctrl-C: the first asks the running operation to stop, the second ends the program.
class InterruptWatcher {
 public:
  explicit InterruptWatcher(afx::Event& cancel) : cancel_(cancel) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
    thread_ = std::thread([this] {
      int count = 0;
      for (;;) {
        int sig = 0;
        if (sigwait(&set_, &sig) != 0) continue;
        if (sig != SIGINT) continue;
        if (stop_) return;
        if (++count == 1) {
          cancel_.Set();
          const char msg[] = "\nCancelling... (Ctrl-C again aborts)\n";
          (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
        } else {
          ::_exit(130);
        }
      }
    });
  }
  ~InterruptWatcher() {
    stop_ = true;
    pthread_kill(thread_.native_handle(), SIGINT);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  afx::Event& cancel_;
  sigset_t set_{};
  sigset_t old_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string OperationName(PluginLoader& plugin, int index) {
  char buffer[512] = {};
  if (!plugin.GetOperation(index, buffer, sizeof buffer - 1)) return {};
  return buffer;
}

int List(PluginLoader& plugin, std::FILE* out, bool json) {
  const int count = plugin.GetNumberOperations();
  for (int i = 0; i < count; ++i) {
    char description[512] = {};
    plugin.GetDescription(i, description, sizeof description - 1);
    const std::string name = OperationName(plugin, i);
    const int pages = plugin.GetNumberOfPages(i);
    if (json)
      std::fprintf(out, "{\"event\":\"operation\",\"index\":%d,\"name\":%s,\"description\":%s,\"pages\":%d}\n", i,
                   Console::JsonEscape(name).c_str(), Console::JsonEscape(description).c_str(), pages);
    else
      std::fprintf(out, "%d\t%s\t%s\t%d\n", i, name.c_str(), description, pages);
  }
  return 0;
}

int Ports(std::FILE* out) {
  std::fprintf(out, "COM ports mapped in HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM:\n");
  const auto mapped = afx::ListMappedComPorts();
  if (mapped.empty()) std::fprintf(out, "  (none; COMn without an entry is /dev/ttyS(n-1))\n");
  for (const auto& [com, path] : mapped) std::fprintf(out, "  COM%d\t%s\n", com, path.c_str());
  std::fprintf(out, "Serial devices in /dev/serial/by-id:\n");
  DIR* dir = ::opendir("/dev/serial/by-id");
  int n = 0;
  if (dir) {
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      const std::string link = std::string("/dev/serial/by-id/") + e->d_name;
      char target[4096];
      const ssize_t len = ::readlink(link.c_str(), target, sizeof target - 1);
      std::string shown = link;
      if (len > 0) {
        target[len] = '\0';
        shown += std::string(" -> ") + target;
      }
      std::fprintf(out, "  %s\n", shown.c_str());
      ++n;
    }
    ::closedir(dir);
  }
  if (n == 0) std::fprintf(out, "  (none)\n");
  std::fprintf(out, "Use: talvern run OP --port N, or --port /dev/serial/by-id/... to map a device to a COM number.\n");
  return 0;
}

int Run(const Options& options, PluginLoader& plugin, Console& console, ConsolePresenter& presenter, std::FILE* err) {
  // The operation, by index or exact name.
  const int count = plugin.GetNumberOperations();
  int op = -1;
  char* end = nullptr;
  const long asNumber = std::strtol(options.operation.c_str(), &end, 10);
  if (!options.operation.empty() && *end == '\0') {
    op = asNumber >= 0 && asNumber < count ? static_cast<int>(asNumber) : -1;
  } else {
    for (int i = 0; i < count && op < 0; ++i)
      if (OperationName(plugin, i) == options.operation) op = i;
  }
  if (op < 0) {
    std::fprintf(err, "talvern: no operation \"%s\" (see talvern list)\n", options.operation.c_str());
    return kExitUsage;
  }

  // The port.
  int port = 0;
  if (!options.port.empty()) {
    const long n = std::strtol(options.port.c_str(), &end, 10);
    if (*end == '\0') {
      if (n < 1 || n > 1024) {
        std::fprintf(err, "talvern: --port %s: a COM number lies in 1..1024\n", options.port.c_str());
        return kExitUsage;
      }
      port = static_cast<int>(n);
    } else if (options.simulate) {
      std::fprintf(err, "talvern: --simulate takes a COM number for --port, not a device path\n");
      return kExitUsage;
    } else {
      port = afx::MapDevicePathToComPort(options.port);
      if (port == 0) {
        std::fprintf(err, "talvern: cannot map %s to a COM number: %s\n", options.port.c_str(),
                     afx::RegistryLastError().c_str());
        return 1;
      }
    }
  } else {
    DWORD last = 0;
    port = (ReadDword("LastUsedCOM", &last) && last >= 1 && last <= 1024) ? static_cast<int>(last) : 1;
  }

  // Time: simulated runs skip the receiver's waits unless asked to show them.
  std::unique_ptr<afx::Clock> clock;
  if (options.simulate && !options.realtime)
    clock = options.timeScale > 0 ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(options.timeScale))
                                  : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (options.timeScale > 0)
    clock = std::make_unique<afx::ScaledClock>(options.timeScale);
  std::unique_ptr<afx::ScopedClock> scopedClock;
  if (clock) scopedClock = std::make_unique<afx::ScopedClock>(*clock);

  Simulation simulation;
  if (options.simulate) {
    std::string error;
    if (!simulation.Attach(port, options.profile, options.transcript, &error)) {
      std::fprintf(err, "talvern: %s\n", error.c_str());
      return 1;
    }
  } else if (!options.transcript.empty()) {
    std::fprintf(err, "talvern: --transcript records the simulated line; use it with --simulate\n");
    return kExitUsage;
  }

  // Pages talk to the receiver on the last-used port, so record it first.
  WriteDword("LastUsedCOM", static_cast<DWORD>(port));

  presenter.SetOperationIndex(op);
  const int pages = plugin.GetNumberOfPages(op);
  if (pages > 0) {
    CPropertySheet sheet(OperationName(plugin, op).c_str());
    for (int i = 0; i < pages; ++i) {
      auto* page = static_cast<CPropertyPage*>(plugin.GetPage(op, i));
      if (page) sheet.AddPage(page);
    }
    if (sheet.DoModal() != IDOK) {
      console.Line("Cancelled before the operation started.");
      console.Done(2, 0, 0, options.simulate);
      return 2;
    }
  }

  char text[4096] = {};
  if (plugin.GetText(op, TEXT_SUMMARY, text, sizeof text - 1)) console.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin.GetText(op, TEXT_CONNECT, text, sizeof text - 1)) console.Text(TEXT_CONNECT, FormatText(text, port).c_str());

  HostWindow window(console);
  afx::Event cancel(true, false);
  OperationParams params{port, op, &window, &cancel};
  const std::int64_t simStart = afx::GetClock().NowNs();
  const auto realStart = std::chrono::steady_clock::now();
  int result = 0;
  {
    InterruptWatcher watcher(cancel);
    result = plugin.DoOperation(&params);
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
  const double simulated = static_cast<double>(afx::GetClock().NowNs() - simStart) / 1e9;
  if (!window.TakeDone()) console.Line("warning: the plug-in did not post its completion message");
  console.Done(result, elapsed, simulated, options.simulate);
  simulation.Detach();
  switch (result) {
    case 1: return 0;
    case 2: return 2;
    default: return 1;
  }
}

}  // namespace

bool PrepareRegistry(const Options& options, std::FILE* err) {
  if (!options.registry.empty()) afx::SetRegistryPath(options.registry);
  const std::string path = afx::GetRegistryPath();
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return true;
  // First use: a working setup for a newcomer.
  const std::string data = DataFolder();
  if (!MakeDirs(data + "/Firmware") || !MakeDirs(data + "/Devices")) {
    std::fprintf(err, "talvern: cannot create %s: %s\n", data.c_str(), std::strerror(errno));
    return false;
  }
  HKEY key = nullptr;
  LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueEx(key, "InstallDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(err, "talvern: cannot create the registry store %s: %s\n", path.c_str(),
                 afx::RegistryLastError().c_str());
    return false;
  }
  return true;
}

int RunTalvern(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (options.command == "help") {
    std::fputs(UsageText(), out);
    return 0;
  }
  if (!PrepareRegistry(options, err)) return 1;
  if (options.command == "reg") return RunRegCommand(options.args, !options.batch && isatty(fileno(in)), in, out, err);
  if (options.command == "ports") return Ports(out);

  Console console(options.json, out);
  ConsolePresenter presenter(options, console, in);
  // Installed before loading: the plug-in asks for Ctrl and Alt while it starts.
  afx::UiPresenter* previous = afx::SetUi(&presenter);
  int status = 1;
  {
    PluginLoader plugin;
    const std::string path = options.plugin.empty() ? PluginLoader::DefaultPath() : options.plugin;
    if (!plugin.Load(path)) {
      std::fprintf(err, "talvern: %s\n", plugin.Error().c_str());
      afx::SetUi(previous);
      return 1;
    }
    if (options.command == "list") status = List(plugin, out, options.json);
    else status = Run(options, plugin, console, presenter, err);
  }
  afx::SetUi(previous);
  return status;
}
