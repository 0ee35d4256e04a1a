#include "gui/SummaryPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "gui/TalvernWizard.h"
#include "plugin/Exports.h"

SummaryPage::SummaryPage(TalvernWizard& wizard) : wizard_(wizard), summary_(new QLabel), connect_(new QLabel) {
  setObjectName(QStringLiteral("summaryPage"));
  setTitle(tr("Summary"));
  setSubTitle(tr("Press Start to run the operation."));
  setCommitPage(true);
  setButtonText(QWizard::CommitButton, tr("&Start"));
  summary_->setObjectName(QStringLiteral("summary"));
  connect_->setObjectName(QStringLiteral("connect"));
  for (QLabel* label : {summary_, connect_}) {
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addSpacing(12);
  layout->addWidget(connect_);
  layout->addStretch(1);
  QObject::connect(&wizard_.View(), &GuiRunView::TextReceived, this, [this](int kind, const QString& text) {
    // The plug-in's texts are laid out for a Windows edit box: CR LF lines and tabs.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\t'), QLatin1String("    "));
    if (kind == TEXT_SUMMARY) summary_->setText(shown);
    else if (kind == TEXT_CONNECT) connect_->setText(shown);
  });
}

void SummaryPage::initializePage() {
  summary_->clear();
  connect_->clear();
  wizard_.Texts();
  if (summary_->text().isEmpty()) summary_->setText(tr("The operation has nothing more to ask."));
}

int SummaryPage::nextId() const { return TalvernWizard::kRun; }
