#include "gui/GuiRunView.h"

#include "afx/Window.h"
#include "gui/GuiThread.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void GuiRunView::Caption(const std::string& text) {
  OnGuiThread([&] { emit CaptionChanged(Q(text)); });
}

void GuiRunView::Status(const std::string& text) {
  OnGuiThread([&] {
    emit StatusChanged(Q(text));
    emit Logged(Kind::kLine, Q(text));
  });
}

void GuiRunView::Progress(int percent) {
  OnGuiThread([&] { emit ProgressChanged(percent); });
}

void GuiRunView::Text(int kind, const std::string& text) {
  OnGuiThread([&] { emit TextReceived(kind, Q(text)); });
}

void GuiRunView::Log(Kind kind, const std::string& text) {
  OnGuiThread([&] { emit Logged(kind, Q(text)); });
}

void GuiRunView::Warning(const std::string& text) { Log(Kind::kWarning, text); }
void GuiRunView::Hint(const std::string& text) { Log(Kind::kHint, text); }
void GuiRunView::Error(const std::string& text) { Log(Kind::kError, text); }
void GuiRunView::Line(const std::string& text) { Log(Kind::kLine, text); }

QString GuiRunView::ClosingText(const RunOutcome& outcome) {
  QString text = QStringLiteral("Operation %1").arg(QString::fromLatin1(RunOutcome::Verb(outcome.Decide())));
  if (outcome.Timed()) {
    if (outcome.VirtualRun())
      text += QStringLiteral(": %1 s of receiver time simulated in %2 s.")
                  .arg(outcome.Simulated(), 0, 'f', 1)
                  .arg(outcome.Elapsed(), 0, 'f', 2);
    else
      text += QStringLiteral(" after %1 s.").arg(outcome.Elapsed(), 0, 'f', 1);
  } else {
    text += QLatin1Char('.');
  }
  const std::string reason = outcome.Reason();
  if (!reason.empty()) text += QLatin1Char('\n') + Q(reason);
  return text;
}

void GuiRunView::Done(const RunOutcome& outcome) {
  OnGuiThread([&] {
    emit Finished(static_cast<int>(outcome.Decide()), outcome.ExitStatus(), ClosingText(outcome));
  });
}

void GuiRunView::Abandoned(const RunOutcome& outcome) {
  OnGuiThread([&] {
    emit Finished(static_cast<int>(outcome.Decide()), outcome.ExitStatus(), ClosingText(outcome));
    emit GaveUp(outcome.ExitStatus());
  });
}

void GuiRunView::OperationStarted(afx::Event& cancel) {
  OnGuiThread([&] {
    cancel_ = &cancel;
    emit RunningChanged(true);
  });
}

void GuiRunView::OperationEnded() {
  OnGuiThread([&] {
    cancel_ = nullptr;
    emit RunningChanged(false);
  });
}

bool GuiRunView::Cancel() {
  if (!cancel_) return false;
  cancel_->Set();
  return true;
}
