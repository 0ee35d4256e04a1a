// One run of an operation, as every front end performs it: the operation and
// port chosen, the clock, the virtual receiver or the replay, the transcript,
// LastUsedCOM, the wizard pages, the texts, DoOperation with its cancel
// event, and its outcome. The front end shows what the run reports
// (RunView) and presents what the plug-in asks (its HostPresenter).
#pragma once
#include <string>

#include "hostlib/HostPresenter.h"
#include "hostlib/PluginLoader.h"
#include "hostlib/RunOutcome.h"
#include "hostlib/RunView.h"

struct RunSettings {
  std::string operation;  // index or exact name
  std::string port;       // COM number or device path; empty: LastUsedCOM, else 1
  bool simulate = false;
  std::string profile;
  bool realtime = false;
  double timeScale = 0;
  std::string transcript;
  std::string replay;
};

class OperationRun {
 public:
  OperationRun(PluginLoader& plugin, HostPresenter& presenter, RunView& view)
      : plugin_(plugin), presenter_(presenter), view_(view) {}

  // Runs the operation and reports its outcome (RunView::Done); returns the exit status.
  int Execute(const RunSettings& settings);

  // The index of the operation named by `operation` (index or exact name), or -1.
  static int FindOperation(PluginLoader& plugin, const std::string& operation);
  static std::string OperationName(PluginLoader& plugin, int index);

 private:
  void Perform(const RunSettings& settings, int op, RunOutcome* outcome);
  // The COM number that `settings` name; 0 (the problem recorded) when there is none.
  int ChoosePort(const RunSettings& settings, RunOutcome* outcome);
  void ReportPortHint(int port);

  PluginLoader& plugin_;
  HostPresenter& presenter_;
  RunView& view_;
};
