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
    if (kind == TEXT_SUMMARY) summary_->setText(text);
    else if (kind == TEXT_CONNECT) connect_->setText(text);
  });
}

void SummaryPage::initializePage() {
  summary_->clear();
  connect_->clear();
  wizard_.Texts();
  if (summary_->text().isEmpty()) summary_->setText(tr("The operation has nothing more to ask."));
}

int SummaryPage::nextId() const { return TalvernWizard::kRun; }
