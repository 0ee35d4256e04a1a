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
#include "afx/SerialDevice.h"
#include "afx/String.h"
#include "afx/TranscriptRecorder.h"
#include "hostlib/FrameAnnotator.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/HostWindow.h"
#include "hostlib/PortHint.h"
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

OperationRun::~OperationRun() {
  Release();
  if (begun_) presenter_.EndRun();
}

void OperationRun::Fail(const std::string& error) {
  view_.Error(error);
  outcome_.SetHostFailure(error);
}

void OperationRun::Usage(const std::string& error) {
  view_.Error(error);
  outcome_.AddUsageError(error);
}

int OperationRun::ChoosePort(const RunSettings& settings) {
  std::string error;
  int port = 0;
  if (!settings.replay.empty()) {
    replay_ = std::make_unique<ReplayPort>();
    if (!replay_->Start(settings.replay, &port, &error)) Fail(error);
  } else if (settings.simulate) {
    port = RunPort::ForSimulation(settings.port, &error);
    if (port == 0) Usage(error);
  } else {
    RunPort::Problem problem = RunPort::Problem::kNone;
    std::string hint;
    port = runPort_.Choose(settings.port, &problem, &error, &hint);
    if (port == 0) {
      if (problem == RunPort::Problem::kUsage) {
        Usage(error);
      } else {
        Fail(error);
        if (!hint.empty()) view_.Hint(hint);
      }
    }
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

void OperationRun::AdviseNextStep() {
  const Outcome kind = outcome_.Decide();
  if (kind != Outcome::kFailed && kind != Outcome::kCancelled) return;
  // The plug-in's own operation that reads what the receiver runs, if it has one.
  int check = -1;
  for (int i = 0, n = plugin_.GetNumberOperations(); i < n && check < 0; ++i) {
    CString name(OperationName(plugin_, i));
    if (i != op_ && name.MakeLower().Find("version") >= 0) check = i;
  }
  const std::string how = "talvern run " + std::to_string(check) + " --port " + std::to_string(port_);
  if (check >= 0)
    view_.Hint("the receiver may be restarting or left in its monitor: once it has restarted, run \"" +
               OperationName(plugin_, check) + "\" (" + how + ") to see which software it runs, then try again");
  else
    view_.Hint("the receiver may be restarting or left in its monitor: check it is powered and running before you "
               "try again");
}

void OperationRun::TakeTimes() {
  outcome_.SetTimes(static_cast<double>(machine_.NowNs() - realStart_) / 1e9,
                    static_cast<double>(afx::GetClock().NowNs() - simStart_) / 1e9, virtualRun_);
}

bool OperationRun::OpenedPort() const {
  return tap_ && tap_->Opened(afx::ResolveSerialDeviceName("COM" + std::to_string(port_)));
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
    Usage("no operation \"" + settings.operation + "\" (see talvern list)");
    return false;
  }
  presenter_.BeginRun(op_, &outcome_, &view_);
  begun_ = true;

  // What the templates already tell is refused before anything reaches the receiver.
  const std::vector<std::string> problems = presenter_.Presets().Check(plugin_.Templates());
  for (const std::string& problem : problems) Usage(problem);
  if (!problems.empty()) return false;

  const bool update = OperationName(plugin_, op_) == VersionReadBack::kUpdate;
  if (settings.verify == RunSettings::Verify::kOn && !update) {
    Usage("--verify reads the version back after \"" + std::string(VersionReadBack::kUpdate) + "\" only");
    return false;
  }
  verify_ = update && settings.verify != RunSettings::Verify::kOff;

  virtualRun_ = settings.simulate || !settings.replay.empty();
  port_ = ChoosePort(settings);
  if (port_ == 0) return false;

  // Time: simulated and replayed runs skip the receiver's waits unless asked to show them.
  if (virtualRun_ && !settings.realtime)
    ownClock_ = settings.timeScale > 0
                    ? std::unique_ptr<afx::Clock>(std::make_unique<afx::ScaledClock>(settings.timeScale))
                    : std::unique_ptr<afx::Clock>(std::make_unique<afx::VirtualClock>());
  else if (settings.timeScale > 0)
    ownClock_ = std::make_unique<afx::ScaledClock>(settings.timeScale);
  clock_ = std::make_unique<RunClock>(ownClock_ ? *ownClock_ : afx::GetClock());
  scopedClock_ = std::make_unique<afx::ScopedClock>(*clock_);

  if (settings.simulate) {
    std::string error;
    if (!simulation_.Attach(port_, settings.profile, &error)) {
      Fail(error);
      return false;
    }
    const std::string holder = RunPort::MappedDevice(port_);
    if (simulation_.ComPort() != port_ && !holder.empty()) {
      view_.Warning("COM" + std::to_string(port_) + " is mapped to " + holder +
                    ", so the virtual receiver is on COM" + std::to_string(simulation_.ComPort()) +
                    " for this run; `talvern reg delete \"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM\" /v " + holder +
                    " /f` frees COM" + std::to_string(port_));
    }
    port_ = simulation_.ComPort();
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
  }
  watch_ = std::make_shared<ReceiverWatch>([this](const ReceiverIdentity& id) { view_.Receiver(id); });
  tap_ = std::make_unique<PortTap>(recorder_, watch_);
  // Pages talk to the receiver on the last-used port, so it is set first.
  runPort_.Use(port_, !virtualRun_);
  clock_->SetLimit(settings.timeout, &cancel_);

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
  runPort_.PagesDone();
  view_.Line("Cancelled before the operation started.");
  outcome_.SetCancelledBeforeStart();
  TakeTimes();
}

void OperationRun::Texts() {
  runPort_.PagesDone();
  char text[4096] = {};
  if (plugin_.GetText(op_, TEXT_SUMMARY, text, sizeof text - 1)) view_.Text(TEXT_SUMMARY, text);
  std::memset(text, 0, sizeof text);
  if (plugin_.GetText(op_, TEXT_CONNECT, text, sizeof text - 1)) view_.Text(TEXT_CONNECT, FormatText(text, port_));
}

void OperationRun::Operate() {
  runPort_.PagesDone();
  if (verify_) readBack_.TakeChoice(plugin_, op_);
  HostWindow window(view_);
  PortTap* tap = tap_.get();
  window.CountBytesWith([tap] { return tap->BytesWritten() + tap->BytesRead(); });
  OperationParams params{port_, op_, &window, &cancel_};
  view_.OperationStarted(cancel_);
  int result = 0;
  {
    StopTicker ticker(
        view_, cancel_,
        [this] {
          return clock_->TimedOut() ? "the run reached its time-out of " + TimeText(settings_.timeout)
                                    : "asked to stop";
        },
        [&window] { return window.LastStatus(); }, settings_.stopWait,
        [this](int waited, const std::string& status) { Abandon(waited, status); });
    result = plugin_.DoOperation(&params);
    operated_ = true;
    TakeTimes();
    outcome_.SetPluginResult(result, window.LastStatus());
    if (clock_->TimedOut()) outcome_.SetTimedOut(settings_.timeout);
    else if (cancel_.IsSet()) outcome_.SetInterrupted(view_.Interrupter());
    if (!window.TakeDone()) view_.Warning("the plug-in did not post its completion message");
    const ReceiverIdentity id = watch_->First();
    outcome_.SetReceiver(id.serial, id.version);
    if (verify_ && outcome_.Decide() == Outcome::kSuccess) {
      readBack_.Run(plugin_, presenter_, view_, port_, cancel_, outcome_);
      TakeTimes();
    }
  }
  view_.OperationEnded();
  if (result != 1) ReportPortHint(port_);
}

void OperationRun::Abandon(int waited, const std::string& lastStatus) {
  // The operation's thread is stuck in the plug-in; the outcome is decided
  // from a copy, and only the registry is put right: the port stays as it
  // is until the program ends.
  RunOutcome final = outcome_;
  final.SetAbandoned(waited, lastStatus);
  if (clock_->TimedOut()) final.SetTimedOut(settings_.timeout);
  final.SetTimes(static_cast<double>(machine_.NowNs() - realStart_) / 1e9,
                 static_cast<double>(clock_->NowNs() - simStart_) / 1e9, virtualRun_);
  const ReceiverIdentity id = watch_->First();
  final.SetReceiver(id.serial, id.version);
  if (recorder_) recorder_->Note("talvern gave up waiting for the operation to stop; it sent nothing more");
  runPort_.Finish(OpenedPort());
  view_.Error(final.Reason());
  view_.Abandoned(final);
}

int OperationRun::Finish() {
  if (begun_ && port_ != 0) runPort_.Finish(OpenedPort());
  if (operated_) {
    simulation_.Detach();
    if (recorder_ && !recorder_->Healthy())
      view_.Warning("the transcript " + settings_.transcript + " is incomplete: a write failed");
    if (replay_) {
      const std::string verdict = replay_->Verdict();
      if (!verdict.empty()) Fail(verdict);
    }
    for (const std::string& unused : presenter_.Presets().Unused()) {
      view_.Warning(unused);
      outcome_.AddUnusedSet(unused);
    }
    if (!virtualRun_ && tap_ && tap_->BytesRead() > 0) AdviseNextStep();
  }
  Release();
  if (begun_) presenter_.EndRun();
  begun_ = false;
  view_.Done(outcome_);
  return outcome_.ExitStatus();
}

// In the reverse order of setting up.
void OperationRun::Release() {
  tap_.reset();
  recorder_.reset();
  simulation_.Detach();
  scopedClock_.reset();
  clock_.reset();
  ownClock_.reset();
  replay_.reset();
}
