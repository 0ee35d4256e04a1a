#include "gui/RunPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cmath>

#include "afx/Clock.h"
#include "gui/TalvernWizard.h"

namespace {
double Since(std::int64_t startNs) { return static_cast<double>(afx::GetClock().NowNs() - startNs) / 1e9; }
}  // namespace

QString RunPage::Duration(double seconds) {
  const long total = std::lround(std::max(seconds, 0.0));
  const long h = total / 3600, m = total / 60 % 60, s = total % 60;
  if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString RunPage::RateText(int percent, double seconds) {
  if (percent <= 0 || seconds <= 0) return {};
  const double perMinute = percent / seconds * 60;
  QString text = QStringLiteral("%1 %/min").arg(perMinute, 0, 'f', perMinute < 10 ? 1 : 0);
  if (percent < 100) text += QStringLiteral(", about %1 left").arg(Duration((100 - percent) * seconds / percent));
  return text;
}

RunPage::RunPage(TalvernWizard& wizard)
    : wizard_(wizard),
      status_(new QLabel),
      progress_(new QProgressBar),
      rate_(new QLabel),
      elapsed_(new QLabel),
      log_(new QPlainTextEdit),
      outcome_(new QLabel) {
  setObjectName(QStringLiteral("runPage"));
  setTitle(tr("Running"));
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  status_->setMinimumHeight(36);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 100);
  rate_->setObjectName(QStringLiteral("rate"));
  elapsed_->setObjectName(QStringLiteral("elapsed"));
  log_->setObjectName(QStringLiteral("log"));
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(5000);
  outcome_->setObjectName(QStringLiteral("outcome"));
  outcome_->setWordWrap(true);
  QFont bold = outcome_->font();
  bold.setBold(true);
  outcome_->setFont(bold);

  auto* times = new QHBoxLayout;
  times->addWidget(rate_, 1);
  times->addWidget(elapsed_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addLayout(times);
  layout->addWidget(log_, 1);
  layout->addWidget(outcome_);

  GuiRunView& view = wizard_.View();
  connect(&view, &GuiRunView::CaptionChanged, this, [this](const QString& text) { setSubTitle(text); });
  connect(&view, &GuiRunView::StatusChanged, status_, &QLabel::setText);
  connect(&view, &GuiRunView::ProgressChanged, this, [this](int percent) {
    progress_->setValue(std::clamp(percent, 0, 100));
    rate_->setText(RateText(progress_->value(), Since(receiverStartNs_)));
  });
  connect(&view, &GuiRunView::Logged, this, [this](GuiRunView::Kind kind, const QString& text) {
    static const char* const kPrefix[] = {"", "warning: ", "hint: ", "error: "};
    log_->appendPlainText(QString::fromLatin1(kPrefix[static_cast<int>(kind)]) + text);
  });
  connect(&view, &GuiRunView::Finished, this, [this](int, int, const QString& closing) {
    if (wizard_.currentId() != TalvernWizard::kRun) return;
    ticker_.stop();
    Tick();
    outcome_->setText(closing);
    log_->appendPlainText(closing);
    setTitle(tr("Finished"));
    done_ = true;
    emit completeChanged();
  });
  connect(&view, &GuiRunView::RunningChanged, this, [this](bool running) {
    if (running) receiverStartNs_ = afx::GetClock().NowNs();
    running_ = true;
    Tick();
    running_ = running;
  });
  ticker_.setInterval(500);
  connect(&ticker_, &QTimer::timeout, this, &RunPage::Tick);
}

void RunPage::Tick() {
  if (running_ && afx::GetClock().IsVirtual())
    receiverTime_ = tr(" (receiver time %1)").arg(Duration(Since(receiverStartNs_)));
  elapsed_->setText(tr("Elapsed %1").arg(Duration(clock_.elapsed() / 1000.0)) + receiverTime_);
}

void RunPage::initializePage() {
  done_ = false;
  setTitle(tr("Running"));
  status_->clear();
  progress_->setValue(0);
  rate_->clear();
  log_->clear();
  outcome_->clear();
  clock_.start();
  receiverStartNs_ = afx::GetClock().NowNs();
  receiverTime_.clear();
  Tick();
  ticker_.start();
  wizard_.StartOperation();
}
