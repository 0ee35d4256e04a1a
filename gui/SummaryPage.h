// Step 4: what the operation is about to do (its summary text) and how to
// connect the receiver; Start commits to the run.
#pragma once
#include <QWizardPage>

class QLabel;
class TalvernWizard;

class SummaryPage : public QWizardPage {
  Q_OBJECT

 public:
  explicit SummaryPage(TalvernWizard& wizard);
  void initializePage() override;
  int nextId() const override;

 private:
  TalvernWizard& wizard_;
  QLabel* summary_;
  QLabel* connect_;
};
