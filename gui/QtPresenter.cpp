#include "gui/QtPresenter.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include "afx/FileDialog.h"
#include "gui/FormDialog.h"
#include "gui/GuiThread.h"
#include "gui/TemplateForm.h"

namespace {

struct ButtonPair {
  int id;
  QMessageBox::StandardButton button;
};
constexpr ButtonPair kButtons[] = {
    {IDOK, QMessageBox::Ok},       {IDCANCEL, QMessageBox::Cancel}, {IDABORT, QMessageBox::Abort},
    {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}, {IDYES, QMessageBox::Yes},
    {IDNO, QMessageBox::No},
};

QMessageBox::StandardButton ToQt(int id) {
  for (const ButtonPair& p : kButtons)
    if (p.id == id) return p.button;
  return QMessageBox::NoButton;
}

int FromQt(int button) {
  for (const ButtonPair& p : kButtons)
    if (p.button == button) return p.id;
  return 0;
}

QMessageBox::Icon IconOf(UINT flags) {
  switch (flags & 0xF0) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

QtPresenter::QtPresenter(bool ctrlAlt) : HostPresenter(AnswerSettings{}, {}, ctrlAlt), ctrlAlt_(ctrlAlt) {}

QtPresenter::~QtPresenter() = default;

QWidget* QtPresenter::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return window_;
}

QStringList QtPresenter::NameFilters(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");  // every file, with a dot or not
    }
    filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

int QtPresenter::AskButton(const std::string& text, const std::string& caption, UINT flags) {
  return OnGuiThread([&] {
    QMessageBox box(IconOf(flags), QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::NoButton,
                    Parent());
    box.setObjectName(QStringLiteral("messageBox"));
    const std::vector<int> ids = AnswerPolicy::Buttons(flags);
    for (int id : ids) box.addButton(ToQt(id));
    box.setDefaultButton(ToQt(afx::UiPresenter::DefaultButton(flags)));
    // Escape means Cancel, or the only button; a Yes/No question must be answered.
    if (std::find(ids.begin(), ids.end(), IDCANCEL) != ids.end()) box.setEscapeButton(ToQt(IDCANCEL));
    else if (ids.size() == 1) box.setEscapeButton(ToQt(ids.front()));
    return FromQt(box.exec());
  });
}

void QtPresenter::BoxAnswered(const Question& q, const std::vector<std::string>&) {
  if (!log_) return;
  log_("[" + q.caption + "] " + q.text + " -> " + AnswerPolicy::ButtonName(q.button) +
       (q.source == AnswerSource::kUser ? "" : std::string(" (") + AnswerPolicy::SourceName(q.source) + ")"));
}

std::string QtPresenter::EditForm(CDialog& dialog, bool wizard, bool lastPage) {
  return OnGuiThread([&] {
    QPointer<FormDialog>& shown = open_[&dialog];
    if (!shown) shown = new FormDialog(dialog, picture_, wizard, Parent());
    return shown->Edit(lastPage);
  });
}

void QtPresenter::DialogClosed(CDialog& dialog, const std::string&) {
  OnGuiThread([&] {
    const auto it = open_.find(&dialog);
    if (it == open_.end()) return;
    if (FormDialog* shown = it->second) {
      shown->Form().Detach();
      shown->hide();
      // Its events may still be on their way; let them find it.
      shown->deleteLater();
    }
    open_.erase(it);
  });
}

std::string QtPresenter::AskFile(CFileDialog& dialog) {
  return OnGuiThread([&] {
    QFileDialog chooser(Parent(), dialog.IsOpenDialog() ? QObject::tr("Open") : QObject::tr("Save As"));
    chooser.setObjectName(QStringLiteral("fileChooser"));
    chooser.setAcceptMode(dialog.IsOpenDialog() ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    chooser.setFileMode(dialog.IsOpenDialog() ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = NameFilters(dialog.Filter());
    if (!filters.isEmpty()) chooser.setNameFilters(filters);
    if (!dialog.DefaultExt().empty()) chooser.setDefaultSuffix(QString::fromStdString(dialog.DefaultExt()));
    const QString initial = QString::fromStdString(dialog.InitialName()).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!initial.isEmpty()) {
      const QFileInfo info(initial);
      if (info.path() != QLatin1String(".")) chooser.setDirectory(info.path());
      chooser.selectFile(info.fileName());
    } else if (!dialog.InitialDir().empty()) {
      chooser.setDirectory(QString::fromStdString(dialog.InitialDir()));
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::string();
    return chooser.selectedFiles().front().toStdString();
  });
}

void QtPresenter::SetClipboardText(const std::string& text) {
  OnGuiThread([&] { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); });
  if (log_) log_("Copied to the clipboard: " + std::to_string(text.size()) + " characters.");
}

void QtPresenter::SetWaitCursor(bool on) {
  OnGuiThread([on] {
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
  });
}

short QtPresenter::GetKeyState(int virtualKey) {
  const short given = HostPresenter::GetKeyState(virtualKey);
  if (given < 0 || ctrlAlt_) return given;
  // The keys really held, as the plug-in asks while it loads.
  const Qt::KeyboardModifiers held = OnGuiThread([] { return QGuiApplication::queryKeyboardModifiers(); });
  const bool down = (virtualKey == VK_CONTROL && (held & Qt::ControlModifier)) ||
                    (virtualKey == VK_MENU && (held & Qt::AltModifier));
  return down ? static_cast<short>(0xFF80) : short{0};
}
