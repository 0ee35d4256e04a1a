// talvern-gui's window: a wizard over one run of an operation. (1) the
// operation, (2) the port, (3) the operation's own pages, (4) the summary,
// (5) the run with its progress and log. It holds the run (OperationRun) and
// the sheet of pages; the pages of the plug-in move through HostPresenter's
// wizard steps, the operation itself runs on a thread of its own.
#pragma once
#include <QPixmap>
#include <QWizard>
#include <memory>

#include "gui/GuiRunView.h"
#include "hostlib/OperationRun.h"

class PluginLoader;
class QtPresenter;
class QThread;

class TalvernWizard : public QWizard {
  Q_OBJECT

 public:
  enum PageId { kOperations, kPort, kPages, kSummary, kRun };

  TalvernWizard(PluginLoader& plugin, QtPresenter& presenter, const RunSettings& initial, QWidget* parent = nullptr);
  ~TalvernWizard() override;

  PluginLoader& Plugin() { return plugin_; }
  QtPresenter& Presenter() { return presenter_; }
  GuiRunView& View() { return view_; }
  const QPixmap& Picture() const { return picture_; }
  // What the pages fill in: the operation (index), the port, the receiver.
  RunSettings& Settings() { return settings_; }

  // Sets up a run of the chosen operation on the chosen port and shows its
  // first page; false (the problems shown) when it cannot go on.
  bool PrepareRun();
  // The run's sheet and the index of its page on show; nullptr when the operation has no page showing.
  CPropertySheet* Sheet() const { return pageIndex_ >= 0 ? sheet_.get() : nullptr; }
  int PageIndex() const { return pageIndex_; }
  // Next on the operation's page: true when the wizard leaves its pages.
  bool PagesNext();
  // The summary and connect texts, into the view.
  void Texts();
  // Starts the operation on a thread of its own.
  void StartOperation();
  bool Busy() const { return busy_; }
  // The exit status of the last run, as talvern's; 0 when none ran.
  int ExitStatus() const { return exitStatus_; }

 signals:
  // The operation's page on show changed (another page, or the same page anew).
  void PageChanged();

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Back();
  void DropRun();
  void OperationFinished();
  void FinishRun();
  void Cancelling();

  PluginLoader& plugin_;
  QtPresenter& presenter_;
  GuiRunView view_;
  QPixmap picture_;
  RunSettings settings_;
  std::unique_ptr<OperationRun> run_;
  std::unique_ptr<CPropertySheet> sheet_;
  int pageIndex_ = HostPresenter::kFinished;
  int lastPageIndex_ = HostPresenter::kFinished;
  QThread* worker_ = nullptr;
  bool busy_ = false;
  bool closeWhenDone_ = false;
  // The run was given up (--stop-wait): its thread may never end, so closing ends the program.
  bool abandoned_ = false;
  int exitStatus_ = 0;
};
