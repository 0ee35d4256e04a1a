// One run of an operation, as every front end performs it: the operation and
// port chosen, the clock and the run's time limit, the virtual receiver or the
// replay, the transcript, LastUsedCOM, the wizard pages, the texts,
// DoOperation with its cancel event, and its outcome. The front end shows
// what the run reports (RunView) and presents what the plug-in asks (its
// HostPresenter).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "afx/Clock.h"
#include "afx/Window.h"
#include "hostlib/HostPresenter.h"
#include "hostlib/PluginLoader.h"
#include "hostlib/PortTap.h"
#include "hostlib/ReceiverWatch.h"
#include "hostlib/ReplayPort.h"
#include "hostlib/RunClock.h"
#include "hostlib/RunOutcome.h"
#include "hostlib/RunPort.h"
#include "hostlib/RunView.h"
#include "hostlib/Simulation.h"
#include "hostlib/VersionReadBack.h"

namespace afx {
class TranscriptRecorder;
}

struct RunSettings {
  std::string operation;  // index or exact name
  std::string port;       // COM number or device path; empty: LastUsedCOM, else 1
  bool simulate = false;
  std::string profile;
  bool realtime = false;
  double timeScale = 0;
  std::string transcript;
  std::string replay;
  double timeout = 0;  // seconds of the run's clock before it is asked to stop; 0: no limit
  // Real seconds to wait for the operation to stop once it was asked to,
  // before the run is given up with nothing more sent; 0: for ever.
  double stopWait = 300;
  // The version read back after "Load GPS software": by default for that
  // operation only; asked for another, a usage error.
  enum class Verify { kDefault, kOn, kOff } verify = Verify::kDefault;
};

class OperationRun {
 public:
  OperationRun(PluginLoader& plugin, HostPresenter& presenter, RunView& view)
      : plugin_(plugin), presenter_(presenter), view_(view) {}
  ~OperationRun();
  OperationRun(const OperationRun&) = delete;
  OperationRun& operator=(const OperationRun&) = delete;

  // Runs the operation and reports its outcome (RunView::Done); returns the exit status.
  int Execute(const RunSettings& settings);

  // The same run in phases, for a front end that shows the pages itself and
  // runs the operation on a thread of its own: Prepare, the pages (Sheet, then
  // PagesCancelled or Texts), Operate, Finish. A run dropped before Finish
  // releases what it set up and reports nothing.
  //
  // Checks the settings and sets up port, clock, receiver and transcript;
  // false when the run cannot go on (Finish reports why).
  bool Prepare(const RunSettings& settings);
  // A sheet over the operation's pages (they belong to the plug-in); nullptr when it has none.
  std::unique_ptr<CPropertySheet> Sheet();
  void PagesCancelled();
  // The operation's summary and connect texts, to RunView::Text.
  void Texts();
  // DoOperation with the run's cancel event (RunView::OperationStarted hands it out).
  void Operate();
  // Releases what the run set up, reports its outcome; returns the exit status.
  int Finish();

  int Operation() const { return op_; }
  int Port() const { return port_; }

  // The index of the operation named by `operation` (index or exact name), or -1.
  static int FindOperation(PluginLoader& plugin, const std::string& operation);
  static std::string OperationName(PluginLoader& plugin, int index);

 private:
  // The COM number that `settings` name; 0 (the problem recorded) when there is none.
  int ChoosePort(const RunSettings& settings);
  void ReportPortHint(int port);
  // After a run that heard from a receiver and did not succeed: what to check next.
  void AdviseNextStep();
  void Fail(const std::string& error);
  void Usage(const std::string& error);
  void TakeTimes();
  // The operation did not stop within --stop-wait of being asked to: the
  // run ends here as failed, with nothing more sent to the receiver.
  void Abandon(int waited, const std::string& lastStatus);
  // Whether the run opened the device of its COM port.
  bool OpenedPort() const;
  void Release();

  PluginLoader& plugin_;
  HostPresenter& presenter_;
  RunView& view_;

  RunSettings settings_;
  RunOutcome outcome_;
  int op_ = -1;
  int port_ = 0;
  bool begun_ = false;
  bool operated_ = false;
  bool virtualRun_ = false;
  RunPort runPort_;
  std::unique_ptr<ReplayPort> replay_;
  std::unique_ptr<afx::Clock> ownClock_;
  std::unique_ptr<RunClock> clock_;
  std::unique_ptr<afx::ScopedClock> scopedClock_;
  Simulation simulation_;
  std::shared_ptr<afx::TranscriptRecorder> recorder_;
  std::shared_ptr<ReceiverWatch> watch_;
  std::unique_ptr<PortTap> tap_;
  bool verify_ = false;
  VersionReadBack readBack_;
  // The run's time limit holds from the pages on, since they talk to the receiver too.
  afx::Event cancel_{true, false};
  std::int64_t simStart_ = 0;
  std::int64_t realStart_ = 0;
  afx::RealClock machine_;
};
