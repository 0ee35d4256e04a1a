// Step 1: the operations the plug-in offers, with their descriptions and its bitmap.
#pragma once
#include <QWizardPage>

class QLabel;
class QListWidget;
class TalvernWizard;

class OperationsPage : public QWizardPage {
  Q_OBJECT

 public:
  explicit OperationsPage(TalvernWizard& wizard);
  void initializePage() override;
  bool isComplete() const override;
  bool validatePage() override;
  int nextId() const override;

 private:
  TalvernWizard& wizard_;
  QListWidget* list_;
  QLabel* description_;
};
