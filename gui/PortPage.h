// Step 2: where the receiver is: a serial port of the inventory (by-id
// name, mapped COM number) or one typed in, the virtual receiver with a
// profile, or a transcript to replay.
#pragma once
#include <QWizardPage>

class QComboBox;
class QLineEdit;
class QRadioButton;
class TalvernWizard;

class PortPage : public QWizardPage {
  Q_OBJECT

 public:
  explicit PortPage(TalvernWizard& wizard);
  void initializePage() override;
  bool validatePage() override;
  int nextId() const override;

 private:
  void Enable();

  TalvernWizard& wizard_;
  QRadioButton* serial_;
  QRadioButton* virtual_;
  QRadioButton* replay_;
  QComboBox* port_;
  QComboBox* profile_;
  QLineEdit* replayFile_;
};
