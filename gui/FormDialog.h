// A plug-in dialog as a window of its own: the rendered template, modal, kept
// open while the plug-in's handlers refuse OK (a message, then the same
// dialog again with the person's input), closed when the presenter says the
// dialog has ended.
#pragma once
#include <QDialog>
#include <QEventLoop>
#include <string>

#include "afx/Dialog.h"

class QPushButton;
class TemplateForm;

class FormDialog : public QDialog {
  Q_OBJECT

 public:
  // `wizard`: a wizard page shown on its own, with Back, Next (Finish) and Cancel.
  FormDialog(CDialog& dialog, const QPixmap& picture, bool wizard, QWidget* parent);

  // Shows the dialog and waits for the person: "ok", "cancel", "next",
  // "back", or the end the plug-in gave the dialog itself.
  std::string Edit(bool lastPage);
  TemplateForm& Form() { return *form_; }

 protected:
  void reject() override;

 private:
  void Finish(const std::string& action);

  CDialog& dialog_;
  TemplateForm* form_;
  bool wizard_;
  QPushButton* next_ = nullptr;
  QEventLoop loop_;
  std::string action_;
};
