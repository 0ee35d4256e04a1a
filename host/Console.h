// Everything the host shows: on a terminal a status line and a progress bar
// redrawn in place (plain lines when stdout is not a terminal), or one JSON
// object per line for scripts (the events of docs/EVENTS.md).
#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hostlib/HostPresenter.h"
#include "hostlib/RunView.h"

class InterruptWatcher;

class Console : public RunView {
 public:
  Console(bool json, std::FILE* out, std::FILE* err);
  ~Console() override;

  bool Json() const { return json_; }
  bool Tty() const { return tty_; }

  void Caption(const std::string& text) override;
  void Status(const std::string& text) override;
  void Progress(int percent) override;
  void ProgressWithRate(int percent, const TransferRate& rate) override;
  void Text(int kind, const std::string& text) override;
  // Warnings, hints and errors go to stderr, or are events in JSON mode
  // (errors both: people read stderr, programs the events).
  void Warning(const std::string& text) override;
  void Hint(const std::string& text) override;
  void Error(const std::string& text) override;
  // A plain line for people (nothing in JSON mode).
  void Line(const std::string& text) override;
  void Done(const RunOutcome& outcome) override;
  // The same, closed by `closing` instead of the operation's last line (for
  // commands that are not an operation's run).
  void Finish(const RunOutcome& outcome, const std::string& closing);
  // Ctrl-C asks the operation to stop while it runs.
  void OperationStarted(afx::Event& cancel) override;
  void OperationEnded() override;
  void Stopping(const std::string& why, int secondsWaited, const std::string& lastStatus) override;
  // A line of the plug-in's trace (stderr, also with --json).
  void Trace(const std::string& line);
  void Receiver(const ReceiverIdentity& identity) override;
  // Reports the outcome and ends the program with its exit status.
  void Abandoned(const RunOutcome& outcome) override;

  void Clipboard(const std::string& text);
  // JSON mode: the host waits for an answer to this box on stdin.
  void AskEvent(const std::string& text, const std::string& caption, unsigned flags, const char* buttons);
  // JSON mode: the host waits for a file's path (a line; an empty one cancels) on stdin.
  void AskFileEvent(bool open, const std::vector<std::string>& kinds);
  void MessageBoxEvent(const Question& question, const std::vector<std::string>& options);
  void DialogEvent(unsigned templateId, const std::string& caption, const FormReport& form, const std::string& result);
  void PageEvent(int operation, int index, unsigned templateId, const FormReport& form, const std::string& result);
  // Ends an in-place status line before other output.
  void BreakLine();

  static std::string JsonEscape(const std::string& text);
  // "960 B/s", "11.5 kB/s"; "1:20 left", "12 s left".
  static std::string RateText(double bytesPerSecond);
  static std::string TimeLeftText(double seconds);

 private:
  void Redraw();
  void Emit(const std::string& json);

  // The operation's thread and the stop ticker both print.
  std::recursive_mutex mutex_;
  bool json_;
  std::FILE* out_;
  std::FILE* err_;
  bool tty_;
  bool inPlace_ = false;
  std::string status_;
  int percent_ = -1;
  TransferRate rate_;
  int printedDecile_ = -1;
  std::unique_ptr<InterruptWatcher> interrupts_;
};
