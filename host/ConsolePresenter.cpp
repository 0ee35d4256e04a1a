#include "host/ConsolePresenter.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "afx/Dialog.h"
#include "afx/File.h"
#include "afx/FileDialog.h"
#include "afx/PropertyPage.h"
#include "afx/PropertySheet.h"
#include "afx/String.h"

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

std::vector<int> ButtonsOf(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

// Controls whose value a person or script wants to see: inputs, and texts the
// code fills in (template labels that code never addresses have ids from 1100 up).
bool IsInputKind(const afx::Control& c) {
  if (c.kind == "static") return c.id > 2 && c.id < 1100 && !c.text.empty();
  return c.kind == "edit" || c.kind == "checkbox" || c.kind == "radio" || c.IsList();
}

}  // namespace

ConsolePresenter::ConsolePresenter(const Options& options, Console& console, std::FILE* in)
    : options_(options), console_(console), in_(in) {}

int ConsolePresenter::ButtonId(const std::string& name) {
  const std::string n = Lower(name);
  if (n == "ok") return IDOK;
  if (n == "cancel") return IDCANCEL;
  if (n == "yes") return IDYES;
  if (n == "no") return IDNO;
  if (n == "retry") return IDRETRY;
  if (n == "abort") return IDABORT;
  if (n == "ignore") return IDIGNORE;
  return 0;
}

const char* ConsolePresenter::ButtonName(int id) {
  switch (id) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDRETRY: return "retry";
    case IDABORT: return "abort";
    case IDIGNORE: return "ignore";
    default: return "?";
  }
}

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

int ConsolePresenter::MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) {
  const std::vector<int> buttons = ButtonsOf(flags);
  int answer = DefaultButton(flags);
  bool decided = false;
  for (const auto& [fragment, button] : options_.answers) {
    if (text.find(fragment) == std::string::npos) continue;
    const int id = ButtonId(button);
    for (int b : buttons)
      if (b == id) {
        answer = id;
        decided = true;
      }
    if (decided) break;
  }
  if (!decided && Interactive()) {
    if (!console_.Json()) {
      console_.BreakLine();
      std::string list;
      for (int b : buttons) {
        list += " [";
        list += ButtonName(b);
        if (b == answer) list += "*";
        list += "]";
      }
      std::fprintf(stdout, "\n-- %s --\n%s\n%s > ", caption.c_str(), text.c_str(), list.c_str());
      std::fflush(stdout);
    }
    for (std::string line; ReadLine(&line);) {
      line = Trim(line);
      if (line.empty()) break;  // Enter takes the default
      const int id = ButtonId(line);
      bool allowed = false;
      for (int b : buttons) allowed = allowed || b == id;
      if (allowed) {
        answer = id;
        break;
      }
      if (!console_.Json()) {
        std::fprintf(stdout, "Answer one of the buttons shown (Enter for the one marked *) > ");
        std::fflush(stdout);
      }
    }
  }
  console_.MessageBoxEvent(text, caption, flags, ButtonSetName(flags), ButtonName(answer));
  if (!console_.Json() && !Interactive()) {
    console_.Line("[" + caption + "] " + text + " -> " + ButtonName(answer));
  }
  return answer;
}

int ConsolePresenter::ApplyValue(afx::Control& c, const std::string& value) {
  if (c.kind == "checkbox" || c.kind == "radio") {
    if (value != "0" && value != "1") return -1;
    c.check = value == "1" ? 1 : 0;
    return BN_CLICKED;
  }
  if (c.IsList()) {
    int row = -1;
    if (value.size() > 1 && value[0] == '#') {
      char* end = nullptr;
      const long n = std::strtol(value.c_str() + 1, &end, 10);
      if (*end == '\0' && n >= 0 && static_cast<size_t>(n) < c.items.size()) row = static_cast<int>(n);
    } else {
      for (size_t i = 0; i < c.items.size() && row < 0; ++i)
        if (CString(c.items[i]).CompareNoCase(value.c_str()) == 0) row = static_cast<int>(i);
    }
    if (row < 0) {
      if (c.kind != "combobox") return -1;
      c.text = value;  // a drop-down combo also takes typed text
      c.selection = -1;
      return CBN_SELCHANGE;
    }
    c.selection = row;
    return LBN_SELCHANGE;
  }
  if (c.limitText > 0 && value.size() > static_cast<size_t>(c.limitText)) return -1;
  c.text = value;
  return EN_KILLFOCUS;
}

void ConsolePresenter::ApplySets(CDialog& dialog) {
  const std::string id = std::to_string(dialog.TemplateId());
  for (const SetValue& s : options_.sets) {
    if (s.dialog != id) continue;
    afx::Control* c = dialog.FindControl(std::atoi(s.control.c_str()));
    if (!c) {
      console_.Line("warning: --set " + s.dialog + ":" + s.control + ": no such control");
      continue;
    }
    const int code = ApplyValue(*c, s.value);
    if (code < 0) {
      console_.Line("warning: --set " + s.dialog + ":" + s.control + "=" + s.value + " does not fit the control");
      continue;
    }
    dialog.SendCommand(static_cast<UINT>(c->id), static_cast<UINT>(code));
  }
}

std::map<std::string, std::string> ConsolePresenter::ControlValues(CDialog& dialog) const {
  std::map<std::string, std::string> values;
  for (const afx::Control& c : dialog.Controls())
    if (IsInputKind(c)) values[std::to_string(c.id)] = c.DisplayValue();
  return values;
}

void ConsolePresenter::PrintForm(CDialog& dialog, bool wizard, bool lastPage) {
  console_.BreakLine();
  std::printf("\n== %s (template %u) ==\n", dialog.Caption().c_str(), dialog.TemplateId());
  int n = 0;
  for (const afx::Control& c : dialog.Controls()) {
    ++n;
    if (!c.visible) continue;
    const char* state = c.enabled ? "" : " (disabled)";
    if (c.kind == "static" || c.kind == "groupbox" || c.kind == "picture") {
      if (!c.text.empty()) std::printf("      %s\n", c.text.c_str());
    } else if (c.kind == "button") {
      std::printf("  %2d. [%s]%s\n", n, c.text.c_str(), state);
    } else if (c.kind == "checkbox" || c.kind == "radio") {
      std::printf("  %2d. [%c] %s%s\n", n, c.check ? 'x' : ' ', c.text.c_str(), state);
    } else if (c.IsList()) {
      std::printf("  %2d. list %d%s:\n", n, c.id, state);
      for (size_t r = 0; r < c.items.size(); ++r) {
        std::string row = c.items[r];
        if (r < c.subItems.size())
          for (const auto& cell : c.subItems[r]) row += " | " + cell;
        std::printf("        %s#%zu %s\n", static_cast<int>(r) == c.selection ? ">" : " ", r, row.c_str());
      }
    } else {
      std::printf("  %2d. %d: %s%s\n", n, c.id, c.text.c_str(), state);
    }
  }
  if (wizard)
    std::printf("Change a control by its number (d N double-clicks a list); %s, 'back' or 'cancel' > ",
                lastPage ? "'finish'" : "'next'");
  else
    std::printf("Change a control by its number (d N double-clicks a list); 'ok' or 'cancel' > ");
  std::fflush(stdout);
}

std::string ConsolePresenter::PressedAction(CDialog& dialog) {
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
    if (word.rfind("d ", 0) == 0) {
      doubleClick = true;
      line = Trim(line.substr(2));
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
    if (c.kind == "button") {
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
      const int code = ApplyValue(c, value);
      if (code < 0) std::printf("That value does not fit.\n");
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

INT_PTR ConsolePresenter::RunModal(CDialog& dialog) {
  ApplySets(dialog);
  if (Interactive() && !console_.Json() && !dialog.IsEnded()) {
    while (!dialog.IsEnded()) {
      const std::string action = EditForm(dialog, false, false);
      if (dialog.IsEnded()) break;
      if (action == "cancel") dialog.SendCommand(IDCANCEL, BN_CLICKED);
      else dialog.SendCommand(IDOK, BN_CLICKED);
      // At the end of input a dialog that refuses OK is cancelled, not asked again.
      if (action.empty() && !dialog.IsEnded()) dialog.SendCommand(IDCANCEL, BN_CLICKED);
    }
  } else if (!dialog.IsEnded()) {
    dialog.SendCommand(IDOK, BN_CLICKED);
    if (!dialog.IsEnded()) dialog.SendCommand(IDCANCEL, BN_CLICKED);
    if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
  }
  console_.DialogEvent(dialog.TemplateId(), dialog.Caption(), ControlValues(dialog),
                       dialog.EndResult() == IDOK ? "ok" : "cancel");
  return dialog.EndResult();
}

INT_PTR ConsolePresenter::RunWizard(CPropertySheet& sheet) {
  int i = 0;
  while (i < sheet.GetPageCount()) {
    if (!sheet.ActivatePage(i)) {
      ++i;
      continue;
    }
    CPropertyPage* page = sheet.GetPage(i);
    ApplySets(*page);
    const bool last = i + 1 == sheet.GetPageCount();
    // A request made while the page was shown or filled in is taken as the
    // user's answer for this page.
    std::string action = PressedAction(*page);
    if (action.empty() && Interactive() && !console_.Json()) action = EditForm(*page, true, last);
    if (action.empty()) action = "next";
    if (action == "cancel") {
      if (sheet.CancelAt(i)) {
        console_.PageEvent(operation_, i, page->TemplateId(), ControlValues(*page), "cancel");
        return IDCANCEL;
      }
      continue;
    }
    if (action == "back") {
      console_.PageEvent(operation_, i, page->TemplateId(), ControlValues(*page), "back");
      if (i > 0 && sheet.BackFrom(i)) --i;
      continue;
    }
    const bool moved = sheet.NextFrom(i);
    console_.PageEvent(operation_, i, page->TemplateId(), ControlValues(*page), moved ? "next" : "stay");
    if (!moved) {
      // A page that refuses Next in a batch run would refuse it forever.
      if (!Interactive() || inputEnded_) return IDCANCEL;
      continue;
    }
    ++i;
  }
  return IDOK;
}

INT_PTR ConsolePresenter::RunFileDialog(CFileDialog& dialog) {
  // A chooser cannot start at a name whose folder does not exist; say so the
  // way the plug-in expects, so that it retries without the name.
  const std::string& initial = dialog.InitialName();
  const size_t slash = initial.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0 &&
      GetFileAttributes(initial.substr(0, slash).c_str()) != FILE_ATTRIBUTE_DIRECTORY) {
    dialog.SetExtendedError(FNERR_INVALIDFILENAME);
    return IDCANCEL;
  }
  for (const SetValue& s : options_.sets) {
    if (s.dialog == "file" && s.control == "path") {
      dialog.SetPathName(s.value);
      return IDOK;
    }
  }
  if (!Interactive()) return IDCANCEL;
  if (!console_.Json()) {
    console_.BreakLine();
    std::printf("\n%s file%s%s (Enter cancels) > ", dialog.IsOpenDialog() ? "Open" : "Save",
                dialog.Filter().empty() ? "" : ", filter ", dialog.Filter().c_str());
    std::fflush(stdout);
  }
  std::string line;
  if (!ReadLine(&line)) return IDCANCEL;
  line = Trim(line);
  if (line.empty()) return IDCANCEL;
  dialog.SetPathName(line);
  return IDOK;
}

short ConsolePresenter::GetKeyState(int virtualKey) {
  if (options_.ctrlAlt && (virtualKey == VK_CONTROL || virtualKey == VK_MENU)) return static_cast<short>(0xFF80);
  return 0;
}

void ConsolePresenter::SetClipboardText(const std::string& text) { console_.Clipboard(text); }
