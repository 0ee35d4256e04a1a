// What a front end shows of a run: the plug-in's caption, status, progress
// and texts, the host's own warnings, hints and errors, and the end. The run
// (OperationRun) reports through it and never prints by itself.
#pragma once
#include <string>

#include "hostlib/ReceiverWatch.h"
#include "hostlib/TransferMeter.h"

namespace afx {
class Event;
}
class RunOutcome;

class RunView {
 public:
  virtual ~RunView() = default;

  virtual void Caption(const std::string& text) = 0;
  virtual void Status(const std::string& text) = 0;
  virtual void Progress(int percent) = 0;
  // The same with the transfer's rate and time left, when the host can tell
  // them; a front end that shows only the bar need not override it.
  virtual void ProgressWithRate(int percent, const TransferRate& rate) {
    (void)rate;
    Progress(percent);
  }
  // The operation's texts (GetText kinds) before it runs.
  virtual void Text(int kind, const std::string& text) = 0;
  virtual void Warning(const std::string& text) = 0;
  // Advice about the port, after a failed open.
  virtual void Hint(const std::string& text) = 0;
  // Why the run could not go on.
  virtual void Error(const std::string& text) = 0;
  // A plain line for people.
  virtual void Line(const std::string& text) = 0;
  // The run is over: every run that got as far as naming its operation ends here.
  virtual void Done(const RunOutcome& outcome) = 0;

  // DoOperation starts and ends; `cancel` asks the operation to stop.
  virtual void OperationStarted(afx::Event&) {}
  virtual void OperationEnded() {}
  // The operation was asked to stop (`why`: Ctrl-C, the run's time-out) and
  // the host waits for it to reach a point where it can. Called about once a
  // second, from another thread than the operation's, until it ends.
  virtual void Stopping(const std::string& why, int secondsWaited, const std::string& lastStatus) {
    (void)why;
    (void)secondsWaited;
    (void)lastStatus;
  }
  // How a person stops a running operation here.
  virtual std::string Interrupter() const { return "Ctrl-C"; }
  // What the receiver said of itself, once, when it first did.
  virtual void Receiver(const ReceiverIdentity& identity) { (void)identity; }
  // The host gave up waiting for the operation to stop (--stop-wait):
  // `outcome` is final, and the operation's thread may never come back, so
  // the front end ends the program here (or lets the person do so) instead
  // of waiting for Done. Called from another thread than the operation's.
  virtual void Abandoned(const RunOutcome& outcome) = 0;
};
