// What a front end shows of a run: the plug-in's caption, status, progress
// and texts, the host's own warnings, hints and errors, and the end. The run
// (OperationRun) reports through it and never prints by itself.
#pragma once
#include <string>

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
  // How a person stops a running operation here.
  virtual std::string Interrupter() const { return "Ctrl-C"; }
};
