#include "gui/FormDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/TemplateForm.h"
#include "hostlib/HostPresenter.h"

FormDialog::FormDialog(CDialog& dialog, const QPixmap& picture, bool wizard, QWidget* parent)
    : QDialog(parent), dialog_(dialog), form_(new TemplateForm(dialog, picture, this)), wizard_(wizard) {
  setObjectName(QStringLiteral("dialog%1").arg(dialog.TemplateId()));
  setWindowTitle(TemplateForm::Text(dialog.Caption()));
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(form_);
  // The templates carry no sizes; a list wants room for its columns.
  bool lists = false;
  for (const afx::Control& c : dialog.Controls()) lists = lists || (c.IsList() && c.kind != "combobox");
  setMinimumWidth(lists ? 560 : 400);
  if (wizard) {
    auto* buttons = new QDialogButtonBox;
    QPushButton* back = buttons->addButton(tr("< &Back"), QDialogButtonBox::ActionRole);
    next_ = buttons->addButton(tr("&Next >"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    connect(back, &QPushButton::clicked, this, [this] { Finish("back"); });
    connect(next_, &QPushButton::clicked, this, [this] { Finish("next"); });
    connect(cancel, &QPushButton::clicked, this, [this] { Finish("cancel"); });
    layout->addWidget(buttons);
  }
  connect(form_, &TemplateForm::ActionRequested, this, [this](const QString& action) { Finish(action.toStdString()); });
  connect(form_, &TemplateForm::Delivered, this, [this] {
    if (dialog_.IsEnded()) return Finish(dialog_.EndResult() == IDOK ? "ok" : "cancel");
    if (wizard_) {
      const std::string pressed = HostPresenter::PressedAction(dialog_);
      if (!pressed.empty()) Finish(pressed);
    }
  });
}

std::string FormDialog::Edit(bool lastPage) {
  if (next_) next_->setText(lastPage ? tr("&Finish") : tr("&Next >"));
  form_->Refresh();
  action_.clear();
  setEnabled(true);
  show();
  raise();
  activateWindow();
  loop_.exec();
  // Until the plug-in asks again, its handlers are busy with this answer on
  // another thread: the dialog takes no input meanwhile.
  setEnabled(false);
  return action_;
}

void FormDialog::Finish(const std::string& action) {
  action_ = action;
  loop_.quit();
}

// Escape and the window's close button are Cancel; the plug-in decides whether the dialog ends.
void FormDialog::reject() { Finish("cancel"); }
