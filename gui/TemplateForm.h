// Renders a dialog or wizard page of the plug-in from its model: one widget
// per control of the template, laid out in tab order (labels beside their
// fields, frames around what follows them, OK and Cancel at the foot,
// pictures at the side). What the person does goes to the plug-in's
// handlers (commands, list keys); what the handlers change comes back
// through Refresh. The form decides nothing itself.
#pragma once
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <map>

#include "afx/Dialog.h"

class TemplateForm : public QWidget {
  Q_OBJECT

 public:
  // `picture` is shown by the template's picture controls.
  TemplateForm(CDialog& dialog, const QPixmap& picture, QWidget* parent = nullptr);
  ~TemplateForm() override;

  // Lets go of the dialog (it has ended and may be gone): nothing reaches it any more.
  void Detach();
  CDialog& Dialog() { return dialog_; }
  // Shows the model's state: texts, checks, rows, selection, enabled, visible.
  void Refresh();
  // The widget of control `id`, or nullptr.
  QWidget* Widget(int id) const;

  // "&Add" -> "&Add", "A && B" -> "A && B": the templates use Qt's own mnemonics.
  static QString Text(const std::string& text);
  // The Windows virtual key of a Qt key, 0 when a list does not hand it to its dialog.
  static unsigned VirtualKey(int qtKey);

 signals:
  // OK (control 1) or Cancel (control 2) was pressed: "ok" or "cancel".
  void ActionRequested(const QString& action);
  // A command or key reached the plug-in (the dialog may have ended, or asked its wizard to move).
  void Delivered();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Build(afx::Control& c);
  void Send(int id, unsigned code);

  CDialog& dialog_;
  QPixmap picture_;
  std::map<int, QWidget*> widgets_;
  bool refreshing_ = false;
  bool detached_ = false;
};
