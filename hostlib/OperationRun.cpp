#include "hostlib/OperationRun.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "afx/Clock.h"
#include "afx/Dialog.h"
#include "afx/Format.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
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

int OperationRun::ChoosePort(const RunSettings& settings, RunOutcome* outcome) {
  if (settings.port.empty()) {
    const int last = ReadLastUsedCom();
    return last ? last : 1;
  }
  auto usage = [&](const std::string& text) {
    view_.Error(text);
    outcome->AddUsageError(text);
    return 0;
  };
  char* end = nullptr;
  const long n = std::strtol(settings.port.c_str(), &end, 10);
  if (*end == '\0') {
    if (n < 1 || n > 1024) return usage("--port " + settings.port + ": a COM number lies in 1..1024");
    return static_cast<int>(n);
  }
  if (settings.simulate) return usage("--simulate takes a COM number for --port, not a device path");
  const int port = afx::MapDevicePathToComPort(settings.port);
  if (port == 0) {
    const std::string error = "cannot map " + settings.port + " to a COM number: " + afx::RegistryLastError();
    view_.Error(error);
    outcome->SetHostFailure(error);
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
  RunOutcome outcome;
  const int op = FindOperation(plugin_, settings.operation);
  if (op < 0) {
    const std::string error = "no operation \"" + settings.operation + "\" (see talvern list)";
    view_.Error(error);
    outcome.AddUsageError(error);
  } else {
    presenter_.BeginRun(op, &outcome, &view_);
    Perform(settings, op, &outcome);
    presenter_.EndRun();
  }
  view_.Done(outcome);
  return outcome.ExitStatus();
}

void OperationRun::Perform(const RunSettings& settings, int op, RunOutcome* outcome) {
  auto fail = [&](const std::string& error) {
    view_.Error(error);
    outcome->SetHostFailure(error);
  };
  // What the templates already tell is refused before anything reaches the receiver.
  const std::vector<std::string> problems = presenter_.Presets().Check(plugin_.Templates());
  for (const std::string& problem : problems) {
    view_.Error(problem);
    outcome->AddUsageError(problem);
  }
  if (!problems.empty()) return;
  int port = ChoosePort(settings, outcome);
  if (port == 0) return;

  ReplayPort replay;
  if (!settings.replay.empty()) {
    std::string error;
    if (!replay.Start(settings.replay, &port, &error)) return fail(error);
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
    if (!simulation.Attach(port, settings.profile, &error)) return fail(error);
  }
  if (!settings.transcript.empty()) {
    // The tap in the serial-device layer records real ports, replays and the
    // virtual receiver alike, so every transcript can be replayed.
    std::string error;
    recorder = afx::TranscriptRecorder::Create(settings.transcript, &error);
    if (!recorder) return fail(error);
    auto annotator = std::make_shared<FrameAnnotator>();
    recorder->SetAnnotator([annotator](bool toDevice, const std::uint8_t* data, std::size_t n) {
      return annotator->Annotate(toDevice, data, n);
    });
    recorder->Install();
  }

  // Pages talk to the receiver on the last-used port, so record it first; a
  // replay puts the user's own port back afterwards.
  struct LastPort {
    int previous = ReadLastUsedCom();
    bool restore = false;
    ~LastPort() {
      if (restore) WriteLastUsedCom(previous);
    }
  } lastPort;
  lastPort.restore = !settings.replay.empty() && lastPort.previous != 0;
  WriteLastUsedCom(port);

  const std::int64_t simStart = afx::GetClock().NowNs();
  // How long the run really took, whatever clock the run itself uses.
  afx::RealClock machine;
  const std::int64_t realStart = machine.NowNs();
  auto times = [&] {
    outcome->SetTimes(static_cast<double>(machine.NowNs() - realStart) / 1e9,
                      static_cast<double>(afx::GetClock().NowNs() - simStart) / 1e9, virtualRun);
  };
  const int pages = plugin_.GetNumberOfPages(op);
  if (pages > 0) {
    CPropertySheet sheet(OperationName(plugin_, op).c_str());
    for (int i = 0; i < pages; ++i) {
      auto* page = static_cast<CPropertyPage*>(plugin_.GetPage(op, i));
      if (page) sheet.AddPage(page);
    }
    if (sheet.DoModal() != IDOK) {
      view_.Line("Cancelled before the operation started.");
      outcome->SetCancelledBeforeStart();
      times();
      return;
    }
  }

  char text[4096] = {};
  if (plugin_.GetText(op, TEXT_SUMMARY, text, sizeof text - 1)) view_.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin_.GetText(op, TEXT_CONNECT, text, sizeof text - 1)) view_.Text(TEXT_CONNECT, FormatText(text, port));

  HostWindow window(view_);
  afx::Event cancel(true, false);
  OperationParams params{port, op, &window, &cancel};
  view_.OperationStarted(cancel);
  const int result = plugin_.DoOperation(&params);
  view_.OperationEnded();
  times();
  outcome->SetPluginResult(result, window.LastStatus());
  if (cancel.IsSet()) outcome->SetInterrupted();
  if (!window.TakeDone()) view_.Warning("the plug-in did not post its completion message");
  if (result != 1) ReportPortHint(port);
  simulation.Detach();
  if (recorder) {
    recorder->Uninstall();
    if (!recorder->Healthy()) view_.Warning("the transcript " + settings.transcript + " is incomplete: a write failed");
  }
  if (!settings.replay.empty()) {
    const std::string verdict = replay.Verdict();
    if (!verdict.empty()) fail(verdict);
  }
  for (const std::string& unused : presenter_.Presets().Unused()) {
    view_.Warning(unused);
    outcome->AddUnusedSet(unused);
  }
}
