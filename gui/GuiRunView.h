// What the window shows of a run, carried to the GUI thread: every call
// from the run (on the operation's thread or the GUI's) becomes a signal
// emitted on the GUI thread, and the caller waits until it has been shown.
#pragma once
#include <QObject>
#include <QString>

#include "hostlib/RunOutcome.h"
#include "hostlib/RunView.h"

namespace afx {
class Event;
}

class GuiRunView : public QObject, public RunView {
  Q_OBJECT

 public:
  enum class Kind { kLine, kWarning, kHint, kError };

  void Caption(const std::string& text) override;
  void Status(const std::string& text) override;
  void Progress(int percent) override;
  void Text(int kind, const std::string& text) override;
  void Warning(const std::string& text) override;
  void Hint(const std::string& text) override;
  void Error(const std::string& text) override;
  void Line(const std::string& text) override;
  void Done(const RunOutcome& outcome) override;
  // Shown as Done, and the window may then close although the operation's thread never came back.
  void Abandoned(const RunOutcome& outcome) override;
  void OperationStarted(afx::Event& cancel) override;
  void OperationEnded() override;
  std::string Interrupter() const override { return "Cancel"; }

  // Asks the running operation to stop; false when none is running.
  bool Cancel();
  bool Running() const { return cancel_ != nullptr; }

  // "Operation succeeded." with the reason and the questions the run asked.
  static QString ClosingText(const RunOutcome& outcome);

 signals:
  void CaptionChanged(const QString& text);
  void StatusChanged(const QString& text);
  void ProgressChanged(int percent);
  void TextReceived(int kind, const QString& text);
  void Logged(GuiRunView::Kind kind, const QString& text);
  void Finished(int outcome, int exitStatus, const QString& closing);
  void RunningChanged(bool running);
  void GaveUp(int exitStatus);

 private:
  void Log(Kind kind, const std::string& text);

  afx::Event* cancel_ = nullptr;  // only touched on the GUI thread
};
