#include "gui/TalvernWizard.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QImage>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "gui/OperationsPage.h"
#include "gui/PluginPage.h"
#include "gui/PortPage.h"
#include "gui/QtPresenter.h"
#include "gui/RunPage.h"
#include "gui/SummaryPage.h"
#include "hostlib/PluginLoader.h"

namespace {

QPixmap PictureOf(const PluginLoader& plugin) {
  const BitmapResource* bitmap = plugin.Bitmap();
  if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0 ||
      bitmap->pixels.size() < static_cast<size_t>(bitmap->width) * static_cast<size_t>(bitmap->height))
    return {};
  QImage image(bitmap->width, bitmap->height, QImage::Format_RGB32);
  for (int y = 0; y < bitmap->height; ++y)
    for (int x = 0; x < bitmap->width; ++x)
      image.setPixel(x, y, 0xFF000000u | bitmap->pixels[static_cast<size_t>(y * bitmap->width + x)]);
  return QPixmap::fromImage(image);
}

}  // namespace

TalvernWizard::TalvernWizard(PluginLoader& plugin, QtPresenter& presenter, const RunSettings& initial, QWidget* parent)
    : QWizard(parent), plugin_(plugin), presenter_(presenter), picture_(PictureOf(plugin)), settings_(initial) {
  setObjectName(QStringLiteral("wizard"));
  setWindowTitle(tr("Talvern"));
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::NoBackButtonOnStartPage);
  setOption(QWizard::HaveCustomButton1);
  setButtonText(QWizard::CustomButton1, tr("Run &another operation"));
  if (!picture_.isNull()) {
    setPixmap(QWizard::LogoPixmap, picture_.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    setWindowIcon(picture_);
  }
  setMinimumSize(720, 540);
  presenter_.SetPicture(picture_);
  presenter_.SetWindow(this);
  presenter_.SetLog([this](const std::string& line) { view_.Line(line); });

  setPage(kOperations, new OperationsPage(*this));
  setPage(kPort, new PortPage(*this));
  setPage(kPages, new PluginPage(*this));
  setPage(kSummary, new SummaryPage(*this));
  setPage(kRun, new RunPage(*this));
  setStartId(kOperations);

  // Back goes through the operation's pages (and drops a run set up for
  // another port or operation), so it is ours rather than the wizard's.
  QAbstractButton* back = button(QWizard::BackButton);
  disconnect(back, SIGNAL(clicked()), this, SLOT(back()));
  connect(back, &QAbstractButton::clicked, this, &TalvernWizard::Back);
  connect(this, &QWizard::customButtonClicked, this, [this](int which) {
    if (which != QWizard::CustomButton1 || busy_) return;
    DropRun();
    restart();
  });
  connect(&view_, &GuiRunView::Finished, this, [this](int, int status, const QString&) { exitStatus_ = status; });
  connect(&view_, &GuiRunView::GaveUp, this, [this](int) {
    abandoned_ = true;
    button(QWizard::CancelButton)->setEnabled(false);
    if (closeWhenDone_) close();
  });
  // Another run is offered once one has ended.
  connect(this, &QWizard::currentIdChanged, this, [this] { button(QWizard::CustomButton1)->setVisible(false); });
}

TalvernWizard::~TalvernWizard() {
  // The window never goes while the operation runs (closeEvent waits for it).
  presenter_.SetLog(nullptr);
  presenter_.SetWindow(nullptr);
  DropRun();
}

bool TalvernWizard::PrepareRun() {
  DropRun();
  QStringList problems;
  auto collect = connect(&view_, &GuiRunView::Logged, this, [&](GuiRunView::Kind kind, const QString& text) {
    if (kind == GuiRunView::Kind::kError) problems << text;
  });
  run_ = std::make_unique<OperationRun>(plugin_, presenter_, view_);
  const bool ready = run_->Prepare(settings_);
  disconnect(collect);
  if (!ready) {
    run_.reset();
    QMessageBox::warning(this, tr("Talvern"), problems.isEmpty() ? tr("The run cannot start.") : problems.join('\n'));
    return false;
  }
  sheet_ = run_->Sheet();
  pageIndex_ = sheet_ ? presenter_.WizardShow(*sheet_, 0) : HostPresenter::kFinished;
  if (pageIndex_ == HostPresenter::kCancelled) {
    run_->PagesCancelled();
    FinishRun();
    return false;
  }
  if (pageIndex_ >= 0) lastPageIndex_ = pageIndex_;
  return true;
}

bool TalvernWizard::PagesNext() {
  if (!sheet_ || pageIndex_ < 0) return true;
  const int next = presenter_.WizardNext(*sheet_, pageIndex_, true);
  if (next == HostPresenter::kCancelled) {
    run_->PagesCancelled();
    FinishRun();
    QWizard::reject();
    return false;
  }
  if (next == HostPresenter::kFinished) return true;
  const bool moved = next != pageIndex_;
  pageIndex_ = lastPageIndex_ = next;
  if (moved) emit PageChanged();
  return false;
}

void TalvernWizard::Back() {
  const int id = currentId();
  if (id == kPages && sheet_ && pageIndex_ >= 0) {
    const int previous = presenter_.WizardBack(*sheet_, pageIndex_);
    if (previous >= 0 && previous != pageIndex_) {
      pageIndex_ = lastPageIndex_ = previous;
      emit PageChanged();
      return;
    }
    if (previous == HostPresenter::kCancelled) return reject();
    // Back from the first page: to the port, with nothing set up.
    DropRun();
  } else if (id == kSummary && sheet_) {
    // The pages were finished; show the last of them anew.
    pageIndex_ = presenter_.WizardShow(*sheet_, std::max(lastPageIndex_, 0));
    if (pageIndex_ < 0) {
      DropRun();
      back();  // to the summary's predecessor, the port
      return;
    }
    emit PageChanged();
  } else if (id == kSummary || id == kPages) {
    DropRun();
  }
  back();
}

void TalvernWizard::DropRun() {
  if (busy_) return;
  sheet_.reset();
  run_.reset();
  pageIndex_ = lastPageIndex_ = HostPresenter::kFinished;
}

void TalvernWizard::Texts() {
  if (run_) run_->Texts();
}

void TalvernWizard::StartOperation() {
  if (!run_ || busy_) return;
  busy_ = true;
  OperationRun* run = run_.get();
  worker_ = QThread::create([run] { run->Operate(); });
  connect(worker_, &QThread::finished, this, &TalvernWizard::OperationFinished);
  connect(worker_, &QThread::finished, worker_, &QObject::deleteLater);
  worker_->start();
}

void TalvernWizard::OperationFinished() {
  worker_ = nullptr;
  busy_ = false;
  FinishRun();
  button(QWizard::CustomButton1)->setVisible(currentId() == kRun);
  button(QWizard::CancelButton)->setEnabled(false);
  if (closeWhenDone_) close();
}

void TalvernWizard::FinishRun() {
  if (!run_) return;
  run_->Finish();
  sheet_.reset();
  run_.reset();
  pageIndex_ = lastPageIndex_ = HostPresenter::kFinished;
}

void TalvernWizard::Cancelling() {
  if (view_.Cancel()) {
    button(QWizard::CancelButton)->setEnabled(false);
    emit view_.StatusChanged(tr("Cancelling: waiting for the operation to stop..."));
  }
}

void TalvernWizard::reject() {
  if (busy_) return Cancelling();
  if (currentId() == kPages && sheet_ && pageIndex_ >= 0) {
    // The page decides whether the wizard may be cancelled.
    if (presenter_.WizardCancel(*sheet_, pageIndex_) != HostPresenter::kCancelled) return;
    run_->PagesCancelled();
    FinishRun();
  }
  DropRun();
  QWizard::reject();
}

void TalvernWizard::closeEvent(QCloseEvent* event) {
  if (abandoned_) {
    // The operation's thread is still in the plug-in: nothing may be torn down under it.
    std::fflush(nullptr);
    std::_Exit(exitStatus_);
  }
  if (!busy_) return QWizard::closeEvent(event);
  event->ignore();
  if (closeWhenDone_) return;
  const auto answer = QMessageBox::question(
      this, tr("Talvern"), tr("The operation is still running. Stop it and close Talvern?"),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes || !busy_) {
    if (!busy_ && answer == QMessageBox::Yes) close();
    return;
  }
  closeWhenDone_ = true;
  Cancelling();
}
