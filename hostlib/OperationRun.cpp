#include "hostlib/OperationRun.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "afx/Clock.h"
#include "afx/Dialog.h"
#include "afx/Format.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "afx/Registry.h"
#include "afx/String.h"
#include "afx/SerialDevice.h"
#include "afx/TranscriptRecorder.h"
#include "afx/Window.h"
#include "hostlib/FrameAnnotator.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/HostWindow.h"
#include "hostlib/PortHint.h"
#include "hostlib/PortTap.h"
#include "hostlib/ReplayPort.h"
#include "hostlib/RunClock.h"
#include "hostlib/RunPort.h"
#include "hostlib/Simulation.h"
#include "hostlib/StopTicker.h"

namespace {

std::string TimeText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

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

void OperationRun::AdviseNextStep(int op, int port, const RunOutcome& outcome) {
  const Outcome kind = outcome.Decide();
  if (kind != Outcome::kFailed && kind != Outcome::kCancelled) return;
  // The plug-in's own operation that reads what the receiver runs, if it has one.
  int check = -1;
  for (int i = 0, n = plugin_.GetNumberOperations(); i < n && check < 0; ++i) {
    CString name(OperationName(plugin_, i));
    if (i != op && name.MakeLower().Find("version") >= 0) check = i;
  }
  const std::string how = "talvern run " + std::to_string(check) + " --port " + std::to_string(port);
  if (check >= 0)
    view_.Hint("the receiver may be restarting or left in its monitor: once it has restarted, run \"" +
               OperationName(plugin_, check) + "\" (" + how + ") to see which software it runs, then try again");
  else
    view_.Hint("the receiver may be restarting or left in its monitor: check it is powered and running before you "
               "try again");
}

void OperationRun::Perform(const RunSettings& settings, int op, RunOutcome* outcome) {
  auto fail = [&](const std::string& error) {
    view_.Error(error);
    outcome->SetHostFailure(error);
  };
  auto usage = [&](const std::string& error) {
    view_.Error(error);
    outcome->AddUsageError(error);
  };
  // What the templates already tell is refused before anything reaches the receiver.
  const std::vector<std::string> problems = presenter_.Presets().Check(plugin_.Templates());
  for (const std::string& problem : problems) usage(problem);
  if (!problems.empty()) return;

  const bool virtualRun = settings.simulate || !settings.replay.empty();
  RunPort runPort;
  ReplayPort replay;
  int port = 0;
  std::string error;
  if (!settings.replay.empty()) {
    if (!replay.Start(settings.replay, &port, &error)) return fail(error);
  } else if (settings.simulate) {
    port = RunPort::ForSimulation(settings.port, &error);
    if (port == 0) return usage(error);
  } else {
    RunPort::Problem problem = RunPort::Problem::kNone;
    std::string hint;
    port = runPort.Choose(settings.port, &problem, &error, &hint);
    if (port == 0) {
      if (problem == RunPort::Problem::kUsage) return usage(error);
      fail(error);
      if (!hint.empty()) view_.Hint(hint);
      return;
    }
  }

  // Time: simulated and replayed runs skip the receiver's waits unless asked to show them.
  std::unique_ptr<afx::Clock> ownClock;
  if (virtualRun && !settings.realtime)
    ownClock = settings.timeScale > 0 ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(settings.timeScale))
                                      : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (settings.timeScale > 0)
    ownClock = std::make_unique<afx::ScaledClock>(settings.timeScale);
  RunClock clock(ownClock ? *ownClock : afx::GetClock());
  afx::ScopedClock scopedClock(clock);

  Simulation simulation;
  if (settings.simulate) {
    if (!simulation.Attach(port, settings.profile, &error)) return fail(error);
    const std::string holder = RunPort::MappedDevice(port);
    if (simulation.ComPort() != port && !holder.empty()) {
      view_.Warning("COM" + std::to_string(port) + " is mapped to " + holder + ", so the virtual receiver is on COM" +
                    std::to_string(simulation.ComPort()) + " for this run; `talvern reg delete " +
                    "\"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM\" /v " + holder + " /f` frees COM" + std::to_string(port));
    }
    port = simulation.ComPort();
  }
  std::shared_ptr<afx::TranscriptRecorder> recorder;
  if (!settings.transcript.empty()) {
    // The tap in the serial-device layer records real ports, replays and the
    // virtual receiver alike, so every transcript can be replayed.
    recorder = afx::TranscriptRecorder::Create(settings.transcript, &error);
    if (!recorder) return fail(error);
    auto annotator = std::make_shared<FrameAnnotator>();
    recorder->SetAnnotator([annotator](bool toDevice, const std::uint8_t* data, std::size_t n) {
      return annotator->Annotate(toDevice, data, n);
    });
  }
  PortTap tap(recorder);
  // Pages talk to the receiver on the last-used port, so it is set first.
  runPort.Use(port, !virtualRun);
  auto opened = [&] { return tap.Opened(afx::ResolveSerialDeviceName("COM" + std::to_string(port))); };
  afx::Event cancel(true, false);
  clock.SetLimit(settings.timeout, &cancel);

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
      runPort.Finish(opened());
      return;
    }
  }

  char text[4096] = {};
  if (plugin_.GetText(op, TEXT_SUMMARY, text, sizeof text - 1)) view_.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin_.GetText(op, TEXT_CONNECT, text, sizeof text - 1)) view_.Text(TEXT_CONNECT, FormatText(text, port));

  HostWindow window(view_);
  window.CountBytesWith([&tap] { return tap.BytesWritten() + tap.BytesRead(); });
  OperationParams params{port, op, &window, &cancel};
  view_.OperationStarted(cancel);
  int result = 0;
  {
    StopTicker ticker(
        view_, cancel,
        [&] { return clock.TimedOut() ? "the run reached its time-out of " + TimeText(settings.timeout) : "asked to stop"; },
        [&] { return window.LastStatus(); });
    result = plugin_.DoOperation(&params);
  }
  view_.OperationEnded();
  times();
  outcome->SetPluginResult(result, window.LastStatus());
  if (clock.TimedOut()) outcome->SetTimedOut(settings.timeout);
  else if (cancel.IsSet()) outcome->SetInterrupted();
  if (!window.TakeDone()) view_.Warning("the plug-in did not post its completion message");
  if (result != 1) ReportPortHint(port);
  runPort.Finish(opened());
  simulation.Detach();
  if (recorder && !recorder->Healthy())
    view_.Warning("the transcript " + settings.transcript + " is incomplete: a write failed");
  if (!settings.replay.empty()) {
    const std::string verdict = replay.Verdict();
    if (!verdict.empty()) fail(verdict);
  }
  for (const std::string& unused : presenter_.Presets().Unused()) {
    view_.Warning(unused);
    outcome->AddUnusedSet(unused);
  }
  if (!virtualRun && tap.BytesRead() > 0) AdviseNextStep(op, port, *outcome);
}
