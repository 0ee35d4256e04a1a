// The window's presenter: message boxes as QMessageBox with the buttons, icon
// and default button of their flags, the plug-in's dialogs as FormDialogs
// from their templates, file choosers as QFileDialog, the clipboard and the
// wait cursor. What to answer and what a run's end means is HostPresenter's
// business; this class only presents, always on the GUI thread, whichever
// thread the plug-in called from.
#pragma once
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <map>

#include "hostlib/HostPresenter.h"

class FormDialog;
class QWidget;

class QtPresenter : public HostPresenter {
 public:
  explicit QtPresenter(bool ctrlAlt);
  ~QtPresenter() override;

  // The picture of the templates' picture controls (the plug-in's bitmap).
  void SetPicture(const QPixmap& picture) { picture_ = picture; }
  // Where boxes and dialogs are centred when no other window is active.
  void SetWindow(QWidget* window) { window_ = window; }
  // Receives a line for the log of the run.
  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

  void SetClipboardText(const std::string& text) override;
  void SetWaitCursor(bool on) override;
  short GetKeyState(int virtualKey) override;

  // "XML File [*.xml]|*.xml|All Files [*.*]|*.*||" -> {"XML File [*.xml] (*.xml)", "All Files [*.*] (*)"}.
  static QStringList NameFilters(const std::string& filter);

 protected:
  int AskButton(const std::string& text, const std::string& caption, UINT flags) override;
  void BoxAnswered(const Question& question, const std::vector<std::string>& options) override;
  bool EditsForms() const override { return true; }
  std::string EditForm(CDialog& dialog, bool wizard, bool lastPage) override;
  void DialogClosed(CDialog& dialog, const std::string& result) override;
  void PageLeft(int, CDialog&, const std::string&) override {}
  std::string AskFile(CFileDialog& dialog) override;

 private:
  QWidget* Parent() const;

  bool ctrlAlt_;
  QPixmap picture_;
  QWidget* window_ = nullptr;
  std::function<void(const std::string&)> log_;
  // The dialogs on show; a window owns each (its parent), so they are only watched here.
  std::map<CDialog*, QPointer<FormDialog>> open_;
};
