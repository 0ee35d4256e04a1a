#include "hostlib/HostPresenter.h"

#include "afx/Dialog.h"
#include "afx/File.h"
#include "afx/FileDialog.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"

namespace {

// Controls whose value a person or script wants to see: inputs, and texts the
// code fills in (template labels that code never addresses have ids from 1100 up).
bool IsInputKind(const afx::Control& c) {
  if (c.kind == "static") return c.id > 2 && c.id < 1100 && !c.text.empty();
  return c.kind == "edit" || c.kind == "checkbox" || c.kind == "radio" || c.IsList();
}

std::string Named(CDialog& dialog) { return dialog.Caption() + " (" + std::to_string(dialog.TemplateId()) + ")"; }

}  // namespace

HostPresenter::HostPresenter(AnswerSettings answers, std::vector<SetValue> sets, bool ctrlAlt)
    : policy_(std::move(answers)), presets_(std::move(sets)), ctrlAlt_(ctrlAlt) {}

void HostPresenter::BeginRun(int operation, RunOutcome* outcome, RunView* view) {
  operation_ = operation;
  outcome_ = outcome;
  view_ = view;
}

void HostPresenter::EndRun() {
  outcome_ = nullptr;
  view_ = nullptr;
}

void HostPresenter::Usage(const std::string& text) {
  if (view_) view_->Error(text);
  if (outcome_) outcome_->AddUsageError(text);
}

int HostPresenter::MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) {
  AnswerDecision decision = policy_.Decide(text, flags);
  if (decision.action == AnswerDecision::Action::kAsk) {
    const int button = AskButton(text, caption, flags);
    decision = button ? AnswerDecision{AnswerDecision::Action::kGive, button, AnswerSource::kUser}
                      : AnswerPolicy::Unanswered(flags);
  }
  const Question question{text, caption, flags, decision.button, decision.source};
  if (outcome_) outcome_->AddQuestion(question);
  std::vector<std::string> options;
  if (decision.source == AnswerSource::kStopped) options = AnswerPolicy::AnsweringOptions(text, flags);
  if (decision.source == AnswerSource::kRetryLimit)
    options = {"--retries " + std::to_string(policy_.Settings().retries + 1) + " (or more)"};
  BoxAnswered(question, options);
  ++boxes_;
  lastBox_ = text;
  return decision.button;
}

bool HostPresenter::ApplyPresets(CDialog& dialog) {
  std::string problem;
  if (presets_.Apply(dialog, &problem)) return true;
  Usage(problem);
  return false;
}

void HostPresenter::Refused(CDialog& dialog, int boxesBefore) {
  const std::string box = boxes_ > boxesBefore ? lastBox_ : "";
  const std::vector<SetValue> applied = presets_.AppliedTo(dialog.TemplateId());
  if (applied.empty()) {
    if (view_) view_->Warning(Named(dialog) + " refused its values as shown" + (box.empty() ? "" : ": " + box));
    return;
  }
  // Name the values the dialog's message quotes; all of them when it quotes none.
  std::string named;
  for (const SetValue& v : applied)
    if (!box.empty() && !v.value.empty() && box.find(v.value) != std::string::npos)
      named += (named.empty() ? "" : ", ") + DialogPresets::Spelling(v);
  if (named.empty())
    for (const SetValue& v : applied) named += (named.empty() ? "" : ", ") + DialogPresets::Spelling(v);
  Usage(Named(dialog) + " refused " + named + (box.empty() ? "" : ": " + box));
}

void HostPresenter::AcceptAsShown(CDialog& dialog) {
  const int before = boxes_;
  dialog.SendCommand(IDOK, BN_CLICKED);
  if (dialog.IsEnded()) return;
  Refused(dialog, before);
  dialog.SendCommand(IDCANCEL, BN_CLICKED);
  if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
}

INT_PTR HostPresenter::RunModal(CDialog& dialog) {
  if (!ApplyPresets(dialog)) {
    dialog.SendCommand(IDCANCEL, BN_CLICKED);
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
  } else if (EditsForms() && !acceptAsShown_) {
    while (!dialog.IsEnded()) {
      const std::string action = EditForm(dialog, false, false);
      if (dialog.IsEnded()) break;
      if (action.empty()) {
        AcceptAsShown(dialog);  // the input ended
        break;
      }
      dialog.SendCommand(action == "cancel" ? IDCANCEL : IDOK, BN_CLICKED);
    }
  } else if (!dialog.IsEnded()) {
    AcceptAsShown(dialog);
  }
  const std::string result = dialog.EndResult() == IDOK ? "ok" : "cancel";
  closed_.push_back({dialog.TemplateId(), Report(dialog), result});
  DialogClosed(dialog, result);
  return dialog.EndResult();
}

std::string HostPresenter::PressedAction(CDialog& dialog) {
  auto* page = dynamic_cast<CPropertyPage*>(&dialog);
  CPropertySheet* sheet = page ? page->GetParentSheet() : nullptr;
  if (!sheet) return "";
  switch (sheet->TakePressedButton()) {
    case PSBTN_NEXT:
    case PSBTN_FINISH:
      return "next";
    case PSBTN_CANCEL:
      return "cancel";
    default:
      return "";
  }
}

int HostPresenter::WizardShow(CPropertySheet& sheet, int from) {
  for (int i = from; i < sheet.GetPageCount(); ++i) {
    if (!sheet.ActivatePage(i)) continue;
    CPropertyPage* page = sheet.GetPage(i);
    if (ApplyPresets(*page)) return i;
    sheet.CancelAt(i);
    PageLeft(i, *page, "cancel");
    return kCancelled;
  }
  return kFinished;
}

int HostPresenter::WizardNext(CPropertySheet& sheet, int index, bool personEdits) {
  CPropertyPage* page = sheet.GetPage(index);
  const int before = boxes_;
  const bool moved = sheet.NextFrom(index);
  PageLeft(index, *page, moved ? "next" : "stay");
  if (moved) return WizardShow(sheet, index + 1);
  // A page that refuses Next to nobody would refuse it forever.
  if (personEdits) return index;
  Refused(*page, before);
  return kCancelled;
}

int HostPresenter::WizardBack(CPropertySheet& sheet, int index) {
  PageLeft(index, *sheet.GetPage(index), "back");
  if (index > 0 && sheet.BackFrom(index)) return WizardShow(sheet, index - 1);
  return index;
}

int HostPresenter::WizardCancel(CPropertySheet& sheet, int index) {
  if (!sheet.CancelAt(index)) return index;
  PageLeft(index, *sheet.GetPage(index), "cancel");
  return kCancelled;
}

INT_PTR HostPresenter::RunWizard(CPropertySheet& sheet) {
  int i = WizardShow(sheet, 0);
  while (i >= 0) {
    CPropertyPage* page = sheet.GetPage(i);
    // A request made while the page was shown or filled in is taken as the
    // user's answer for this page.
    std::string action = PressedAction(*page);
    bool inputEnded = false;
    if (action.empty() && EditsForms()) {
      action = EditForm(*page, true, i + 1 == sheet.GetPageCount());
      inputEnded = action.empty();
    }
    int next;
    if (action == "cancel") next = WizardCancel(sheet, i);
    else if (action == "back") next = WizardBack(sheet, i);
    else next = WizardNext(sheet, i, EditsForms() && !inputEnded);
    // The console prints a page that stayed anew, and so activates it anew.
    i = next == i ? WizardShow(sheet, i) : next;
  }
  return i == kFinished ? IDOK : IDCANCEL;
}

INT_PTR HostPresenter::RunFileDialog(CFileDialog& dialog) {
  // A chooser cannot start at a name whose folder does not exist; say so the
  // way the plug-in expects, so that it retries without the name.
  const std::string& initial = dialog.InitialName();
  const size_t slash = initial.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0 &&
      GetFileAttributes(initial.substr(0, slash).c_str()) != FILE_ATTRIBUTE_DIRECTORY) {
    dialog.SetExtendedError(FNERR_INVALIDFILENAME);
    return IDCANCEL;
  }
  if (const std::string* path = presets_.FilePath()) {
    dialog.SetPathName(*path);
    return IDOK;
  }
  if (Batch()) return IDCANCEL;
  const std::string path = AskFile(dialog);
  if (path.empty()) return IDCANCEL;
  dialog.SetPathName(path);
  return IDOK;
}

short HostPresenter::GetKeyState(int virtualKey) {
  if (ctrlAlt_ && (virtualKey == VK_CONTROL || virtualKey == VK_MENU)) return static_cast<short>(0xFF80);
  return 0;
}

FormReport HostPresenter::Report(CDialog& dialog) {
  FormReport report;
  for (const afx::Control& c : dialog.Controls()) {
    if (IsInputKind(c)) report.values[std::to_string(c.id)] = c.DisplayValue();
    if (!c.IsList()) continue;
    auto& rows = report.rows[std::to_string(c.id)];
    for (size_t r = 0; r < c.items.size(); ++r) {
      std::vector<std::string> cells{c.items[r]};
      if (r < c.subItems.size()) cells.insert(cells.end(), c.subItems[r].begin(), c.subItems[r].end());
      rows.push_back(cells);
    }
  }
  return report;
}
