#include "gui/PortPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "afx/SerialDevice.h"
#include "gui/TalvernWizard.h"
#include "hostlib/PortInventory.h"

namespace {

QPushButton* Browse(const QString& name) {
  auto* button = new QPushButton(QObject::tr("Browse..."));
  button->setObjectName(name);
  return button;
}

// "COM3" or "3" -> "3"; anything else (a device path) as it is.
QString PortValue(const QComboBox* combo) {
  const int row = combo->findText(combo->currentText());
  if (row >= 0) return combo->itemData(row).toString();
  QString text = combo->currentText().trimmed();
  if (text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) text = text.mid(3);
  return text;
}

}  // namespace

PortPage::PortPage(TalvernWizard& wizard)
    : wizard_(wizard),
      serial_(new QRadioButton(tr("A receiver on a &serial port:"))),
      virtual_(new QRadioButton(tr("The &virtual receiver, with the profile:"))),
      replay_(new QRadioButton(tr("&Replay a transcript:"))),
      port_(new QComboBox),
      profile_(new QComboBox),
      replayFile_(new QLineEdit) {
  setObjectName(QStringLiteral("portPage"));
  setTitle(tr("Choose the port"));
  setSubTitle(tr("Where is the receiver? A USB receiver is best named by its by-id name, which stays the same "
                 "while the receiver restarts."));
  serial_->setObjectName(QStringLiteral("serial"));
  virtual_->setObjectName(QStringLiteral("virtual"));
  replay_->setObjectName(QStringLiteral("replay"));
  port_->setObjectName(QStringLiteral("port"));
  port_->setEditable(true);
  port_->setToolTip(tr("A COM number (1..1024) or a device path such as /dev/serial/by-id/..."));
  profile_->setObjectName(QStringLiteral("profile"));
  profile_->setEditable(true);
  profile_->addItem(tr("QZ710 with the built-in defaults"), QString());
  replayFile_->setObjectName(QStringLiteral("replayFile"));
  replayFile_->setPlaceholderText(tr("a transcript recorded with --transcript"));

  auto indented = [](QWidget* field, QPushButton* button) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(24, 0, 0, 8);
    row->addWidget(field, 1);
    if (button) row->addWidget(button);
    return row;
  };
  QPushButton* profileBrowse = Browse(QStringLiteral("profileBrowse"));
  QPushButton* replayBrowse = Browse(QStringLiteral("replayBrowse"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(serial_);
  layout->addLayout(indented(port_, nullptr));
  layout->addWidget(virtual_);
  layout->addLayout(indented(profile_, profileBrowse));
  layout->addWidget(replay_);
  layout->addLayout(indented(replayFile_, replayBrowse));
  layout->addStretch(1);

  for (QRadioButton* r : {serial_, virtual_, replay_}) connect(r, &QRadioButton::toggled, this, &PortPage::Enable);
  connect(profileBrowse, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, tr("Virtual receiver profile"), QString(),
                                                      tr("Profiles (*.profile *.txt);;All files (*)"));
    if (file.isEmpty()) return;
    profile_->addItem(file, file);
    profile_->setCurrentIndex(profile_->count() - 1);
  });
  connect(replayBrowse, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, tr("Transcript to replay"), QString(),
                                                      tr("Transcripts (*.txt *.transcript);;All files (*)"));
    if (!file.isEmpty()) replayFile_->setText(file);
  });
}

void PortPage::initializePage() {
  const RunSettings& s = wizard_.Settings();
  port_->clear();
  for (const PortInfo& p : TakePortInventory(afx::ListMappedComPorts())) {
    QString text = p.com ? QStringLiteral("COM%1  ").arg(p.com) : QString();
    text += QString::fromStdString(p.byId.empty() ? p.device : p.byId);
    if (!p.present) text += tr(" (not present)");
    const std::string usb = UsbText(p);
    if (!usb.empty()) text += QStringLiteral("  [%1]").arg(QString::fromStdString(usb));
    const QString value = p.com ? QString::number(p.com) : QString::fromStdString(p.byId.empty() ? p.device : p.byId);
    port_->addItem(text, value);
  }
  if (!s.port.empty()) {
    const int row = port_->findData(QString::fromStdString(s.port));
    if (row >= 0) port_->setCurrentIndex(row);
    else if (s.port.find_first_not_of("0123456789") == std::string::npos) port_->setEditText("COM" + QString::fromStdString(s.port));
    else port_->setEditText(QString::fromStdString(s.port));
  } else if (port_->count() == 0) {
    port_->setEditText(QStringLiteral("COM1"));
  }
  if (!s.profile.empty() && profile_->findData(QString::fromStdString(s.profile)) < 0)
    profile_->addItem(QString::fromStdString(s.profile), QString::fromStdString(s.profile));
  if (!s.profile.empty()) profile_->setCurrentIndex(profile_->findData(QString::fromStdString(s.profile)));
  if (!s.replay.empty()) replayFile_->setText(QString::fromStdString(s.replay));
  (s.simulate ? virtual_ : !s.replay.empty() ? replay_ : serial_)->setChecked(true);
  Enable();
}

void PortPage::Enable() {
  port_->setEnabled(!replay_->isChecked());
  profile_->setEnabled(virtual_->isChecked());
  replayFile_->setEnabled(replay_->isChecked());
  findChild<QPushButton*>(QStringLiteral("profileBrowse"))->setEnabled(virtual_->isChecked());
  findChild<QPushButton*>(QStringLiteral("replayBrowse"))->setEnabled(replay_->isChecked());
}

bool PortPage::validatePage() {
  RunSettings& s = wizard_.Settings();
  s.simulate = virtual_->isChecked();
  s.replay = replay_->isChecked() ? replayFile_->text().trimmed().toStdString() : std::string();
  s.port = replay_->isChecked() ? std::string() : PortValue(port_).toStdString();
  const int row = profile_->findText(profile_->currentText());
  s.profile = !s.simulate ? std::string()
              : row >= 0  ? profile_->itemData(row).toString().toStdString()
                          : profile_->currentText().trimmed().toStdString();
  return wizard_.PrepareRun();
}

int PortPage::nextId() const {
  return wizard_.Sheet() ? TalvernWizard::kPages : TalvernWizard::kSummary;
}
