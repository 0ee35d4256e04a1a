// Answers the modal windows that a run opens, one expected window after the
// other, as a person at the screen would: it looks every few milliseconds
// for the active modal window and, when it is the next one expected, acts
// on it. A modal window runs its own event loop inside whatever opened it,
// so the look-out is a fresh single-shot timer each time.
#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

class ModalResponder : public QObject {
 public:
  // `what`: "#name" for a window with that object name, else a fragment of a message box's text.
  void Expect(const QString& what, std::function<void(QWidget*)> act) {
    steps_.push_back({what, std::move(act)});
    waited_.start();
    if (!polling_) {
      polling_ = true;
      QTimer::singleShot(10, this, [this] { Poll(); });
    }
  }
  void Clear() {
    steps_.clear();
    seen_.clear();
    unexpected_.clear();
  }
  bool Idle() const { return steps_.empty() && !acting_; }
  QString Pending() const { return steps_.empty() ? QString() : steps_.front().what; }
  // Every message box text it saw, in order.
  const QStringList& Seen() const { return seen_; }
  // The windows it had to close because none was expected: each stood in the way too long.
  const QStringList& Unexpected() const { return unexpected_; }

  static bool Matches(QWidget* w, const QString& what) {
    if (what.startsWith('#')) return w->objectName() == what.mid(1);
    auto* box = qobject_cast<QMessageBox*>(w);
    return box && box->text().contains(what);
  }

 private:
  struct Step {
    QString what;
    std::function<void(QWidget*)> act;
  };

  void Poll() {
    QTimer::singleShot(10, this, [this] { Poll(); });
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || !w->isEnabled()) return;
    if (steps_.empty() || !Matches(w, steps_.front().what)) {
      // A window nobody expected would hold the run (and the test) for ever.
      if (waited_.elapsed() < 5000) return;
      auto* box = qobject_cast<QMessageBox*>(w);
      unexpected_ << w->objectName() + (box ? ": " + box->text() : QString());
      QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
      waited_.start();
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(w)) seen_ << box->text();
    Step step = std::move(steps_.front());
    steps_.pop_front();
    acting_ = true;
    step.act(w);
    acting_ = false;
    waited_.start();
  }

  std::deque<Step> steps_;
  QStringList seen_;
  QStringList unexpected_;
  QElapsedTimer waited_;
  bool polling_ = false;
  bool acting_ = false;
};
