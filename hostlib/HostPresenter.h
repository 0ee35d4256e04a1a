// Answers what the plug-in asks (message boxes, dialogs, wizard pages, file
// choosers) the same way for every front end: the answer policy decides each
// box, the --set values are applied to each dialog, a dialog or page that
// nobody edits is accepted as shown, and everything lands in the run's
// outcome. A front end derives from it and only presents: it shows boxes and
// forms, asks the person when the policy says so, and reports.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "afx/Ui.h"
#include "hostlib/AnswerPolicy.h"
#include "hostlib/DialogPresets.h"
#include "hostlib/RunOutcome.h"
#include "hostlib/RunView.h"

// What a front end reports of a dialog or page.
struct FormReport {
  std::map<std::string, std::string> values;  // control id -> value (inputs and texts the code fills in)
  std::map<std::string, std::vector<std::vector<std::string>>> rows;  // list id -> rows of cells
};

// A modal dialog as it closed.
struct ClosedDialog {
  UINT templateId = 0;
  FormReport form;
  std::string result;  // "ok" or "cancel"
};

class HostPresenter : public afx::UiPresenter {
 public:
  HostPresenter(AnswerSettings answers, std::vector<SetValue> sets, bool ctrlAlt);

  // A run of operation `index` starts: what it decides goes to `outcome`,
  // its problems to `view`. Both outlive the run.
  void BeginRun(int operation, RunOutcome* outcome, RunView* view);
  void EndRun();
  DialogPresets& Presets() { return presets_; }
  bool Batch() const { return policy_.Settings().batch; }
  int Operation() const { return operation_; }
  // The modal dialogs closed so far, in order.
  const std::vector<ClosedDialog>& ClosedDialogs() const { return closed_; }
  // Dialogs are accepted as shown (with the --set values) even where a
  // person edits them: for what the host runs on its own, as a read-back.
  void AcceptFormsAsShown(bool on) { acceptAsShown_ = on; }

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) final;
  INT_PTR RunModal(CDialog& dialog) final;
  INT_PTR RunWizard(CPropertySheet& sheet) final;
  INT_PTR RunFileDialog(CFileDialog& dialog) final;
  short GetKeyState(int virtualKey) override;

  // The wizard's steps, for a front end that shows the pages itself. Each
  // returns the index of the page now showing (activated when it is another
  // page; the same index when the page stayed), or kFinished / kCancelled.
  static constexpr int kFinished = -1;
  static constexpr int kCancelled = -2;
  // Shows the first page from `from` on that agrees to show, with the --set values applied.
  int WizardShow(CPropertySheet& sheet, int from);
  // Next (Finish on the last page). A page that refuses it to a person stays;
  // one that refuses it when nobody edits the pages ends the wizard.
  int WizardNext(CPropertySheet& sheet, int index, bool personEdits);
  int WizardBack(CPropertySheet& sheet, int index);
  int WizardCancel(CPropertySheet& sheet, int index);

  static FormReport Report(CDialog& dialog);
  // "next" or "cancel" when the page asked its wizard to press that button, else "".
  static std::string PressedAction(CDialog& dialog);

 protected:
  // Puts the box to the person; the button they chose, 0 when none can be had.
  virtual int AskButton(const std::string& text, const std::string& caption, UINT flags) = 0;
  // The box and what it got; for a run stopped here, the options that would answer it.
  virtual void BoxAnswered(const Question& question, const std::vector<std::string>& options) = 0;
  // Whether a person edits dialogs and pages; if not, they are accepted as shown.
  virtual bool EditsForms() const = 0;
  // The person edits the form: "ok", "cancel", "next", "back", or "" when the input ended.
  virtual std::string EditForm(CDialog& dialog, bool wizard, bool lastPage) = 0;
  virtual void DialogClosed(CDialog& dialog, const std::string& result) = 0;
  virtual void PageLeft(int index, CDialog& page, const std::string& result) = 0;
  // Asks the person for a file; "" cancels.
  virtual std::string AskFile(CFileDialog& dialog) = 0;

 private:
  // Applies the --set values; false (the problem recorded) when one cannot apply.
  bool ApplyPresets(CDialog& dialog);
  // Presses OK for nobody; a dialog that stays open is cancelled.
  void AcceptAsShown(CDialog& dialog);
  // The dialog or page stayed open after OK or Next pressed for nobody.
  void Refused(CDialog& dialog, int boxesBefore);
  void Usage(const std::string& text);

  AnswerPolicy policy_;
  DialogPresets presets_;
  bool ctrlAlt_;
  int operation_ = -1;
  RunOutcome* outcome_ = nullptr;
  RunView* view_ = nullptr;
  int boxes_ = 0;
  bool acceptAsShown_ = false;
  std::string lastBox_;
  std::vector<ClosedDialog> closed_;
};
