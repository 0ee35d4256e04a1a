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

OperationRun::~OperationRun() {
  Release();
  if (begun_) presenter_.EndRun();
}

int OperationRun::ChoosePort(const RunSettings& settings) {
  if (settings.port.empty()) {
    const int last = ReadLastUsedCom();
    return last ? last : 1;
  }
  auto usage = [&](const std::string& text) {
    view_.Error(text);
    outcome_.AddUsageError(text);
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
  if (port == 0) Fail("cannot map " + settings.port + " to a COM number: " + afx::RegistryLastError());
  return port;
}

// One line of advice when the operation could not open its port.
void OperationRun::ReportPortHint(int port) {
  const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure("COM" + std::to_string(port));
  if (failure.err == 0) return;
  const std::string hint = PortHint(failure.path, failure.err);
  if (!hint.empty()) view_.Hint(hint);
}

void OperationRun::Fail(const std::string& error) {
  view_.Error(error);
  outcome_.SetHostFailure(error);
}

void OperationRun::TakeTimes() {
  outcome_.SetTimes(static_cast<double>(machine_.NowNs() - realStart_) / 1e9,
                    static_cast<double>(afx::GetClock().NowNs() - simStart_) / 1e9, virtualRun_);
}

int OperationRun::Execute(const RunSettings& settings) {
  if (Prepare(settings)) {
    std::unique_ptr<CPropertySheet> sheet = Sheet();
    if (sheet && sheet->DoModal() != IDOK) {
      PagesCancelled();
    } else {
      Texts();
      Operate();
    }
  }
  return Finish();
}

bool OperationRun::Prepare(const RunSettings& settings) {
  settings_ = settings;
  op_ = FindOperation(plugin_, settings.operation);
  if (op_ < 0) {
    const std::string error = "no operation \"" + settings.operation + "\" (see talvern list)";
    view_.Error(error);
    outcome_.AddUsageError(error);
    return false;
  }
  presenter_.BeginRun(op_, &outcome_, &view_);
  begun_ = true;

  // What the templates already tell is refused before anything reaches the receiver.
  const std::vector<std::string> problems = presenter_.Presets().Check(plugin_.Templates());
  for (const std::string& problem : problems) {
    view_.Error(problem);
    outcome_.AddUsageError(problem);
  }
  if (!problems.empty()) return false;
  port_ = ChoosePort(settings);
  if (port_ == 0) return false;

  if (!settings.replay.empty()) {
    std::string error;
    replay_ = std::make_unique<ReplayPort>();
    if (!replay_->Start(settings.replay, &port_, &error)) {
      Fail(error);
      return false;
    }
  }
  virtualRun_ = settings.simulate || !settings.replay.empty();

  // Time: simulated and replayed runs skip the receiver's waits unless asked to show them.
  if (virtualRun_ && !settings.realtime)
    clock_ = settings.timeScale > 0 ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(settings.timeScale))
                                    : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (settings.timeScale > 0)
    clock_ = std::make_unique<afx::ScaledClock>(settings.timeScale);
  if (clock_) scopedClock_ = std::make_unique<afx::ScopedClock>(*clock_);

  if (settings.simulate) {
    std::string error;
    if (!simulation_.Attach(port_, settings.profile, &error)) {
      Fail(error);
      return false;
    }
  }
  if (!settings.transcript.empty()) {
    // The tap in the serial-device layer records real ports, replays and the
    // virtual receiver alike, so every transcript can be replayed.
    std::string error;
    recorder_ = afx::TranscriptRecorder::Create(settings.transcript, &error);
    if (!recorder_) {
      Fail(error);
      return false;
    }
    auto annotator = std::make_shared<FrameAnnotator>();
    recorder_->SetAnnotator([annotator](bool toDevice, const std::uint8_t* data, std::size_t n) {
      return annotator->Annotate(toDevice, data, n);
    });
    recorder_->Install();
  }

  previousPort_ = ReadLastUsedCom();
  restorePort_ = !settings.replay.empty() && previousPort_ != 0;
  WriteLastUsedCom(port_);

  simStart_ = afx::GetClock().NowNs();
  // How long the run really took, whatever clock the run itself uses.
  realStart_ = machine_.NowNs();
  return true;
}

std::unique_ptr<CPropertySheet> OperationRun::Sheet() {
  const int pages = plugin_.GetNumberOfPages(op_);
  if (pages <= 0) return nullptr;
  auto sheet = std::make_unique<CPropertySheet>(OperationName(plugin_, op_).c_str());
  for (int i = 0; i < pages; ++i) {
    auto* page = static_cast<CPropertyPage*>(plugin_.GetPage(op_, i));
    if (page) sheet->AddPage(page);
  }
  return sheet;
}

void OperationRun::PagesCancelled() {
  view_.Line("Cancelled before the operation started.");
  outcome_.SetCancelledBeforeStart();
  TakeTimes();
}

void OperationRun::Texts() {
  char text[4096] = {};
  if (plugin_.GetText(op_, TEXT_SUMMARY, text, sizeof text - 1)) view_.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin_.GetText(op_, TEXT_CONNECT, text, sizeof text - 1)) view_.Text(TEXT_CONNECT, FormatText(text, port_));
}

void OperationRun::Operate() {
  HostWindow window(view_);
  afx::Event cancel(true, false);
  OperationParams params{port_, op_, &window, &cancel};
  view_.OperationStarted(cancel);
  const int result = plugin_.DoOperation(&params);
  view_.OperationEnded();
  operated_ = true;
  TakeTimes();
  outcome_.SetPluginResult(result, window.LastStatus());
  if (cancel.IsSet()) outcome_.SetInterrupted(view_.Interrupter());
  if (!window.TakeDone()) view_.Warning("the plug-in did not post its completion message");
  if (result != 1) ReportPortHint(port_);
}

int OperationRun::Finish() {
  if (operated_) {
    simulation_.Detach();
    if (recorder_) {
      recorder_->Uninstall();
      if (!recorder_->Healthy())
        view_.Warning("the transcript " + settings_.transcript + " is incomplete: a write failed");
    }
    if (replay_) {
      const std::string verdict = replay_->Verdict();
      if (!verdict.empty()) Fail(verdict);
    }
    for (const std::string& unused : presenter_.Presets().Unused()) {
      view_.Warning(unused);
      outcome_.AddUnusedSet(unused);
    }
  }
  Release();
  if (begun_) presenter_.EndRun();
  begun_ = false;
  view_.Done(outcome_);
  return outcome_.ExitStatus();
}

// In the reverse order of setting up.
void OperationRun::Release() {
  if (restorePort_) WriteLastUsedCom(previousPort_);
  restorePort_ = false;
  recorder_.reset();
  simulation_.Detach();
  scopedClock_.reset();
  clock_.reset();
  replay_.reset();
}
