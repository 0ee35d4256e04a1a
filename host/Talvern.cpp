#include "host/Talvern.h"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "afx/Clock.h"
#include "afx/PropertyPage.h"
#include "afx/Format.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "afx/ReplaySession.h"
#include "afx/SerialDevice.h"
#include "afx/TranscriptRecorder.h"
#include "afx/Window.h"
#include "host/Console.h"
#include "host/ConsolePresenter.h"
#include "host/FrameAnnotator.h"
#include "host/HostWindow.h"
#include "host/PluginLoader.h"
#include "host/PortHint.h"
#include "host/PortInventory.h"
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

std::string UsbText(const PortInfo& p) {
  if (p.vendorId.empty()) return "";
  std::string text = p.vendorId + ":" + p.productId;
  if (!p.manufacturer.empty()) text += " " + p.manufacturer;
  if (!p.product.empty()) text += " " + p.product;
  if (!p.serial.empty()) text += " serial " + p.serial;
  return text;
}

int Ports(std::FILE* out, bool json) {
  const auto ports = TakePortInventory(afx::ListMappedComPorts());
  for (const PortInfo& p : ports) {
    if (json) {
      std::fprintf(out, "{\"event\":\"port\",\"device\":%s,\"present\":%s,\"by_id\":%s,\"com\":%d,\"com_path\":%s,"
                   "\"usb\":{\"vendor\":%s,\"product\":%s,\"manufacturer\":%s,\"product_name\":%s,\"serial\":%s}}\n",
                   Console::JsonEscape(p.device).c_str(), p.present ? "true" : "false",
                   Console::JsonEscape(p.byId).c_str(), p.com, Console::JsonEscape(p.comPath).c_str(),
                   Console::JsonEscape(p.vendorId).c_str(), Console::JsonEscape(p.productId).c_str(),
                   Console::JsonEscape(p.manufacturer).c_str(), Console::JsonEscape(p.product).c_str(),
                   Console::JsonEscape(p.serial).c_str());
      continue;
    }
    std::string line = (p.com ? "COM" + std::to_string(p.com) : std::string("-")) + "\t" + p.device;
    if (!p.present) line += " (not present)";
    if (!p.byId.empty()) line += "\n\tby-id " + p.byId;
    if (p.com && p.comPath != p.device && p.comPath != p.byId) line += "\n\tmapped as " + p.comPath;
    const std::string usb = UsbText(p);
    if (!usb.empty()) line += "\n\tusb " + usb;
    std::fprintf(out, "%s\n", line.c_str());
  }
  if (json) return 0;
  if (ports.empty()) std::fprintf(out, "No serial ports found; COM n without a mapping is /dev/ttyS(n-1).\n");
  std::fprintf(out, "Use: talvern run OP --port N, or --port /dev/serial/by-id/... to map a device to a COM number.\n");
  return 0;
}

// One line of advice when the operation could not open its port.
void ReportPortHint(int port, Console& console, std::FILE* err) {
  const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure("COM" + std::to_string(port));
  if (failure.err == 0) return;
  const std::string hint = PortHint(failure.path, failure.err);
  if (!hint.empty()) console.Hint(hint, err);
}

// A replay's port: "replay:FILE" under a COM number for the length of the run.
class ReplayPort {
 public:
  ~ReplayPort() {
    if (session_) session_->Uninstall();
    if (!mappedPath_.empty()) {
      HKEY key = nullptr;
      if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValue(key, mappedPath_.c_str());
        RegCloseKey(key);
      }
    }
  }
  bool Start(const std::string& file, int* port, std::string* error) {
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
  // The replay's verdict: "" when the run followed the recording to its end.
  std::string Verdict() const {
    if (!session_) return "";
    const std::string deviation = session_->Deviation();
    return deviation.empty() ? session_->Unfinished() : deviation;
  }

 private:
  std::shared_ptr<afx::ReplaySession> session_;
  std::string mappedPath_;
};

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

  ReplayPort replay;
  if (!options.replay.empty()) {
    std::string error;
    if (!replay.Start(options.replay, &port, &error)) {
      std::fprintf(err, "talvern: %s\n", error.c_str());
      return 1;
    }
  }
  const bool virtualRun = options.simulate || !options.replay.empty();

  // Time: simulated and replayed runs skip the receiver's waits unless asked to show them.
  std::unique_ptr<afx::Clock> clock;
  if (virtualRun && !options.realtime)
    clock = options.timeScale > 0 ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(options.timeScale))
                                  : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (options.timeScale > 0)
    clock = std::make_unique<afx::ScaledClock>(options.timeScale);
  std::unique_ptr<afx::ScopedClock> scopedClock;
  if (clock) scopedClock = std::make_unique<afx::ScopedClock>(*clock);

  Simulation simulation;
  std::shared_ptr<afx::TranscriptRecorder> recorder;
  if (options.simulate) {
    std::string error;
    if (!simulation.Attach(port, options.profile, &error)) {
      std::fprintf(err, "talvern: %s\n", error.c_str());
      return 1;
    }
  }
  if (!options.transcript.empty()) {
    // The tap in the serial-device layer records real ports, replays and the
    // virtual receiver alike, so every transcript can be replayed.
    std::string error;
    recorder = afx::TranscriptRecorder::Create(options.transcript, &error);
    if (!recorder) {
      std::fprintf(err, "talvern: %s\n", error.c_str());
      return 1;
    }
    auto annotator = std::make_shared<FrameAnnotator>();
    recorder->SetAnnotator([annotator](bool toDevice, const std::uint8_t* data, std::size_t n) {
      return annotator->Annotate(toDevice, data, n);
    });
    recorder->Install();
  }

  // Pages talk to the receiver on the last-used port, so record it first; a
  // replay puts the user's own port back afterwards.
  DWORD previousPort = 0;
  const bool hadPreviousPort = ReadDword("LastUsedCOM", &previousPort);
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
      console.Done(2, 0, 0, virtualRun);
      if (!options.replay.empty() && hadPreviousPort) WriteDword("LastUsedCOM", previousPort);
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
  // How long the run really took, whatever clock the run itself uses.
  afx::RealClock machine;
  const std::int64_t realStart = machine.NowNs();
  int result = 0;
  {
    InterruptWatcher watcher(cancel);
    result = plugin.DoOperation(&params);
  }
  const double elapsed = static_cast<double>(machine.NowNs() - realStart) / 1e9;
  const double simulated = static_cast<double>(afx::GetClock().NowNs() - simStart) / 1e9;
  if (!window.TakeDone()) console.Line("warning: the plug-in did not post its completion message");
  if (result != 1) ReportPortHint(port, console, err);
  console.Done(result, elapsed, simulated, virtualRun);
  simulation.Detach();
  if (recorder) {
    recorder->Uninstall();
    if (!recorder->Healthy()) std::fprintf(err, "talvern: the transcript %s is incomplete: a write failed\n", options.transcript.c_str());
  }
  if (!options.replay.empty()) {
    if (hadPreviousPort) WriteDword("LastUsedCOM", previousPort);
    const std::string verdict = replay.Verdict();
    if (!verdict.empty()) {
      std::fprintf(err, "talvern: %s\n", verdict.c_str());
      return 1;
    }
  }
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
    std::fputs((options.args.empty() ? UsageText() : CommandHelp(options.args[0])).c_str(), out);
    return 0;
  }
  if (options.command == "version") {
    std::fprintf(out, "talvern %s\n", TALVERN_VERSION);
    return 0;
  }
  if (!PrepareRegistry(options, err)) return 1;
  if (options.command == "reg") return RunRegCommand(options.args, !options.batch && isatty(fileno(in)), in, out, err);
  if (options.command == "ports") return Ports(out, options.json);

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
