#include "host/ConsolePresenter.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "afx/Dialog.h"
#include "afx/File.h"
#include "afx/FileDialog.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "afx/String.h"
#include "host/ResourceText.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  CString c(s);
  c.Trim();
  return c;
}

std::string ButtonList(UINT flags) {
  std::string list;
  for (int b : AnswerPolicy::Buttons(flags)) list += (list.empty() ? "" : ", ") + std::string(AnswerPolicy::ButtonName(b));
  return list;
}

}  // namespace

ConsolePresenter::ConsolePresenter(const Options& options, Console& console, std::FILE* in)
    : HostPresenter(options.answering, options.sets, options.ctrlAlt),
      console_(console),
      in_(in),
      editForms_(options.command != "firmware") {}

bool ConsolePresenter::ReadLine(std::string* line) {
  if (inputEnded_ || !in_) return false;
  char buffer[4096];
  if (!std::fgets(buffer, sizeof buffer, in_)) {
    inputEnded_ = true;
    return false;
  }
  *line = buffer;
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  return true;
}

int ConsolePresenter::AskButton(const std::string& text, const std::string& caption, UINT flags) {
  const bool single = AnswerPolicy::Buttons(flags).size() == 1;
  if (console_.Json()) {
    console_.AskEvent(text, caption, flags, afx::UiPresenter::ButtonSetName(flags));
  } else {
    console_.BreakLine();
    std::string list;
    for (int b : AnswerPolicy::Buttons(flags)) list += " [" + std::string(AnswerPolicy::ButtonName(b)) + (single ? "*]" : "]");
    std::fprintf(stdout, "\n-- %s --\n%s\n%s > ", caption.c_str(), text.c_str(), list.c_str());
    std::fflush(stdout);
  }
  for (std::string line; ReadLine(&line);) {
    const int button = AnswerPolicy::ParseTyped(flags, line);
    if (button) return button;
    if (!console_.Json()) {
      std::fprintf(stdout, "Name a button: %s (a unique beginning is enough) > ", ButtonList(flags).c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}

void ConsolePresenter::BoxAnswered(const Question& q, const std::vector<std::string>& options) {
  console_.MessageBoxEvent(q, options);
  if (console_.Json()) return;
  if (AnswerPolicy::Stops(q.source)) {
    std::string answers;
    for (size_t i = 0; i < options.size(); ++i)
      answers += (i == 0 ? "" : i + 1 == options.size() ? " or " : ", ") + options[i];
    console_.Error(std::string(q.source == AnswerSource::kRetryLimit ? "stopped at a question, no retries left:"
                                                                     : "stopped at a question nobody answered:") +
                   "\n  [" + q.caption + "] " + q.text + "\n  buttons: " + ButtonList(q.flags) +
                   "\n  answer it with " + answers + "\n  the plug-in was told: " + AnswerPolicy::ButtonName(q.button));
  } else if (q.source != AnswerSource::kUser) {
    console_.Line("[" + q.caption + "] " + q.text + " -> " + AnswerPolicy::ButtonName(q.button) + " (" +
                  AnswerPolicy::SourceName(q.source) + ")");
  }
}

void ConsolePresenter::PrintForm(CDialog& dialog, bool wizard, bool lastPage) {
  console_.BreakLine();
  std::printf("\n== %s ==\n", dialog.Caption().c_str());
  const std::vector<afx::Control>& controls = dialog.Controls();
  bool keys = false;
  for (size_t i = 0; i < controls.size(); ++i) {
    const afx::Control& c = controls[i];
    if (!c.visible || ResourceText::IsLabel(controls, i)) continue;
    const int n = static_cast<int>(i) + 1;
    const std::string text = ResourceText::Plain(c.text);
    const std::string label = ResourceText::LabelOf(controls, i);
    const char* state = c.enabled ? "" : " (disabled)";
    if (c.kind == "static" || c.kind == "picture") {
      if (!text.empty()) std::printf("      %s\n", text.c_str());
    } else if (c.kind == "groupbox") {
      if (!text.empty()) std::printf("      -- %s --\n", text.c_str());
    } else if (c.kind == "button") {
      std::printf("  %2d. [%s]%s\n", n, text.c_str(), state);
    } else if (c.kind == "checkbox" || c.kind == "radio") {
      std::printf("  %2d. [%c] %s%s\n", n, c.check ? 'x' : ' ', text.c_str(), state);
    } else if (c.IsList()) {
      keys = keys || (c.kind == "listbox" && c.HasStyle("wantkeys") && c.enabled);
      std::printf("  %2d. %s%s:\n", n, label.empty() ? "list" : label.c_str(), state);
      if (c.items.empty()) std::printf("        (empty)\n");
      for (size_t r = 0; r < c.items.size(); ++r) {
        std::string row = c.items[r];
        if (r < c.subItems.size())
          for (const auto& cell : c.subItems[r]) row += " | " + cell;
        std::printf("        %s#%zu %s\n", static_cast<int>(r) == c.selection ? ">" : " ", r, row.c_str());
      }
    } else {
      std::printf("  %2d. %s%s%s\n", n, label.empty() ? "" : (label + ": ").c_str(), c.text.c_str(), state);
    }
  }
  std::printf("Change a control by its number (d N double-clicks a list%s); %s > ",
              keys ? ", k N insert or k N delete presses that key on list N" : "",
              wizard ? (lastPage ? "'finish', 'back' or 'cancel'" : "'next', 'back' or 'cancel'") : "'ok' or 'cancel'");
  std::fflush(stdout);
}

std::string ConsolePresenter::EditForm(CDialog& dialog, bool wizard, bool lastPage) {
  for (;;) {
    PrintForm(dialog, wizard, lastPage);
    std::string line;
    if (!ReadLine(&line)) return "";
    line = Trim(line);
    const std::string word = Lower(line);
    if (word == "ok" || word == "next" || word == "finish") return wizard ? "next" : "ok";
    if (word == "cancel") return "cancel";
    if (word == "back" && wizard) return "back";
    bool doubleClick = false;
    std::string key;
    if (word.rfind("d ", 0) == 0) {
      doubleClick = true;
      line = Trim(line.substr(2));
    } else if (word.rfind("k ", 0) == 0) {
      // "k N insert": the number, then the key's name.
      line = Trim(line.substr(2));
      const size_t space = line.find(' ');
      key = space == std::string::npos ? "" : Trim(line.substr(space + 1));
      line = line.substr(0, space);
      if (!DialogPresets::KeyCode(key)) {
        std::printf("Say k N insert or k N delete.\n");
        continue;
      }
    }
    char* end = nullptr;
    const long n = std::strtol(line.c_str(), &end, 10);
    if (line.empty() || *end != '\0' || n < 1 || static_cast<size_t>(n) > dialog.Controls().size()) {
      std::printf("No control %s.\n", line.c_str());
      continue;
    }
    afx::Control& c = dialog.Controls()[static_cast<size_t>(n - 1)];
    if (!c.enabled || !c.visible) {
      std::printf("That control is disabled.\n");
      continue;
    }
    const UINT id = static_cast<UINT>(c.id);
    std::string why;
    if (!key.empty()) {
      if (!DialogPresets::PressKey(dialog, c, key, &why)) std::printf("No key there: %s.\n", why.c_str());
    } else if (c.kind == "button") {
      dialog.SendCommand(id, BN_CLICKED);
    } else if (doubleClick && c.IsList()) {
      dialog.SendCommand(id, LBN_DBLCLK);
    } else if (c.kind == "checkbox") {
      c.check = !c.check;
      dialog.SendCommand(id, BN_CLICKED);
    } else if (c.kind == "radio") {
      c.check = 1;
      dialog.SendCommand(id, BN_CLICKED);
    } else if (c.kind == "edit" || c.IsList()) {
      std::printf(c.IsList() ? "Row (#N or its text) > " : "New text > ");
      std::fflush(stdout);
      std::string value;
      if (!ReadLine(&value)) return "";
      const int code = DialogPresets::ApplyValue(c, value, &why);
      if (code < 0) std::printf("That value does not fit: %s.\n", why.c_str());
      else dialog.SendCommand(id, static_cast<UINT>(code));
    }
    if (dialog.IsEnded()) return dialog.EndResult() == IDOK ? "ok" : "cancel";
    if (wizard) {
      // A page may press a wizard button itself (the firmware list does on a
      // double click); it takes effect once its handler has returned.
      const std::string pressed = PressedAction(dialog);
      if (!pressed.empty()) return pressed;
    }
  }
}

void ConsolePresenter::SetClipboardText(const std::string& text) { console_.Clipboard(text); }

void ConsolePresenter::DialogClosed(CDialog& dialog, const std::string& result) {
  console_.DialogEvent(dialog.TemplateId(), dialog.Caption(), Report(dialog), result);
}

void ConsolePresenter::PageLeft(int index, CDialog& page, const std::string& result) {
  console_.PageEvent(Operation(), index, page.TemplateId(), Report(page), result);
}

std::string ConsolePresenter::AskFile(CFileDialog& dialog) {
  const auto choices = ResourceText::FilterChoices(dialog.Filter());
  if (console_.Json()) {
    std::vector<std::string> kinds;
    for (const auto& choice : choices) kinds.push_back(choice.label);
    console_.AskFileEvent(dialog.IsOpenDialog(), kinds);
  } else {
    console_.BreakLine();
    std::printf("\n%s a file", dialog.IsOpenDialog() ? "Open" : "Save");
    if (!choices.empty()) std::printf(" of one of these kinds:\n");
    for (const auto& choice : choices)
      std::printf("    %s%s\n", choice.label.c_str(),
                  choice.label.find('*') == std::string::npos && !choice.patterns.empty()
                      ? (" (" + choice.patterns + ")").c_str()
                      : "");
    std::printf("%sPath (Enter cancels) > ", choices.empty() ? "\n" : "");
    std::fflush(stdout);
  }
  std::string line;
  if (!ReadLine(&line)) return "";
  return Trim(line);
}
