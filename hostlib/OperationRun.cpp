#include "hostlib/OperationRun.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "afx/Clock.h"
#include "afx/Dialog.h"
#include "afx/Format.h"
#include "afx/Registry.h"
#include "afx/SerialDevice.h"
#include "afx/TranscriptRecorder.h"
#include "afx/Window.h"
#include "hostlib/FrameAnnotator.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/HostWindow.h"
#include "hostlib/PortHint.h"
#include "hostlib/ReplayPort.h"
#include "hostlib/Simulation.h"

namespace {
constexpr int kExitUsage = 64;
}  // namespace

std::string OperationRun::OperationName(PluginLoader& plugin, int index) {
  char buffer[512] = {};
  if (!plugin.GetOperation(index, buffer, sizeof buffer - 1)) return {};
  return buffer;
}

int OperationRun::FindOperation(PluginLoader& plugin, const std::string& operation) {
  const int count = plugin.GetNumberOperations();
  char* end = nullptr;
  const long asNumber = std::strtol(operation.c_str(), &end, 10);
  if (!operation.empty() && *end == '\0') return asNumber >= 0 && asNumber < count ? static_cast<int>(asNumber) : -1;
  for (int i = 0; i < count; ++i)
    if (OperationName(plugin, i) == operation) return i;
  return -1;
}

int OperationRun::ChoosePort(const RunSettings& settings, int* status) {
  if (settings.port.empty()) {
    const int last = ReadLastUsedCom();
    return last ? last : 1;
  }
  char* end = nullptr;
  const long n = std::strtol(settings.port.c_str(), &end, 10);
  if (*end == '\0') {
    if (n < 1 || n > 1024) {
      view_.Error("--port " + settings.port + ": a COM number lies in 1..1024");
      *status = kExitUsage;
      return 0;
    }
    return static_cast<int>(n);
  }
  if (settings.simulate) {
    view_.Error("--simulate takes a COM number for --port, not a device path");
    *status = kExitUsage;
    return 0;
  }
  const int port = afx::MapDevicePathToComPort(settings.port);
  if (port == 0) {
    view_.Error("cannot map " + settings.port + " to a COM number: " + afx::RegistryLastError());
    *status = 1;
  }
  return port;
}

// One line of advice when the operation could not open its port.
void OperationRun::ReportPortHint(int port) {
  const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure("COM" + std::to_string(port));
  if (failure.err == 0) return;
  const std::string hint = PortHint(failure.path, failure.err);
  if (!hint.empty()) view_.Hint(hint);
}

int OperationRun::Execute(const RunSettings& settings) {
  const int op = FindOperation(plugin_, settings.operation);
  if (op < 0) {
    view_.Error("no operation \"" + settings.operation + "\" (see talvern list)");
    return kExitUsage;
  }
  int status = 0;
  int port = ChoosePort(settings, &status);
  if (port == 0) return status;

  ReplayPort replay;
  if (!settings.replay.empty()) {
    std::string error;
    if (!replay.Start(settings.replay, &port, &error)) {
      view_.Error(error);
      return 1;
    }
  }
  const bool virtualRun = settings.simulate || !settings.replay.empty();

  // Time: simulated and replayed runs skip the receiver's waits unless asked to show them.
  std::unique_ptr<afx::Clock> clock;
  if (virtualRun && !settings.realtime)
    clock = settings.timeScale > 0 ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(settings.timeScale))
                                   : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (settings.timeScale > 0)
    clock = std::make_unique<afx::ScaledClock>(settings.timeScale);
  std::unique_ptr<afx::ScopedClock> scopedClock;
  if (clock) scopedClock = std::make_unique<afx::ScopedClock>(*clock);

  Simulation simulation;
  std::shared_ptr<afx::TranscriptRecorder> recorder;
  if (settings.simulate) {
    std::string error;
    if (!simulation.Attach(port, settings.profile, &error)) {
      view_.Error(error);
      return 1;
    }
  }
  if (!settings.transcript.empty()) {
    // The tap in the serial-device layer records real ports, replays and the
    // virtual receiver alike, so every transcript can be replayed.
    std::string error;
    recorder = afx::TranscriptRecorder::Create(settings.transcript, &error);
    if (!recorder) {
      view_.Error(error);
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
  const int previousPort = ReadLastUsedCom();
  WriteLastUsedCom(port);
  const bool restorePort = !settings.replay.empty() && previousPort != 0;

  view_.OperationChosen(op);
  const int pages = plugin_.GetNumberOfPages(op);
  if (pages > 0) {
    CPropertySheet sheet(OperationName(plugin_, op).c_str());
    for (int i = 0; i < pages; ++i) {
      auto* page = static_cast<CPropertyPage*>(plugin_.GetPage(op, i));
      if (page) sheet.AddPage(page);
    }
    if (sheet.DoModal() != IDOK) {
      view_.Line("Cancelled before the operation started.");
      view_.Done(2, 0, 0, virtualRun);
      if (restorePort) WriteLastUsedCom(previousPort);
      return 2;
    }
  }

  char text[4096] = {};
  if (plugin_.GetText(op, TEXT_SUMMARY, text, sizeof text - 1)) view_.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin_.GetText(op, TEXT_CONNECT, text, sizeof text - 1)) view_.Text(TEXT_CONNECT, FormatText(text, port));

  HostWindow window(view_);
  afx::Event cancel(true, false);
  OperationParams params{port, op, &window, &cancel};
  const std::int64_t simStart = afx::GetClock().NowNs();
  // How long the run really took, whatever clock the run itself uses.
  afx::RealClock machine;
  const std::int64_t realStart = machine.NowNs();
  view_.OperationStarted(cancel);
  const int result = plugin_.DoOperation(&params);
  view_.OperationEnded();
  const double elapsed = static_cast<double>(machine.NowNs() - realStart) / 1e9;
  const double simulated = static_cast<double>(afx::GetClock().NowNs() - simStart) / 1e9;
  if (!window.TakeDone()) view_.Warning("the plug-in did not post its completion message");
  if (result != 1) ReportPortHint(port);
  view_.Done(result, elapsed, simulated, virtualRun);
  simulation.Detach();
  if (recorder) {
    recorder->Uninstall();
    if (!recorder->Healthy()) view_.Error("the transcript " + settings.transcript + " is incomplete: a write failed");
  }
  if (!settings.replay.empty()) {
    if (restorePort) WriteLastUsedCom(previousPort);
    const std::string verdict = replay.Verdict();
    if (!verdict.empty()) {
      view_.Error(verdict);
      return 1;
    }
  }
  switch (result) {
    case 1: return 0;
    case 2: return 2;
    default: return 1;
  }
}
