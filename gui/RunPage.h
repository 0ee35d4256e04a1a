// Step 5: the run. Status line, progress bar with rate and time left,
// elapsed time, the log of everything the run reported, and its outcome.
// Cancel asks the operation to stop and says that it waits for it.
#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <QWizardPage>
#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class TalvernWizard;

class RunPage : public QWizardPage {
  Q_OBJECT

 public:
  explicit RunPage(TalvernWizard& wizard);
  void initializePage() override;
  bool isComplete() const override { return done_; }
  int nextId() const override { return -1; }

  // "12 %/min, about 3 min 20 s left" from `percent` after `seconds`; "" before anything moved.
  static QString RateText(int percent, double seconds);
  // "1:05", "1:02:03".
  static QString Duration(double seconds);

 private:
  void Tick();

  TalvernWizard& wizard_;
  QLabel* status_;
  QProgressBar* progress_;
  QLabel* rate_;
  QLabel* elapsed_;
  QPlainTextEdit* log_;
  QLabel* outcome_;
  QElapsedTimer clock_;
  std::int64_t receiverStartNs_ = 0;  // on the run's clock: simulated runs keep the receiver's time
  QTimer ticker_;
  bool done_ = false;
  bool running_ = false;  // the operation runs, and its clock is in force
  QString receiverTime_;
};
