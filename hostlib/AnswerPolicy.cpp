#include "hostlib/AnswerPolicy.h"

#include <algorithm>
#include <cctype>

#include "afx/Ui.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool Has(const std::vector<int>& buttons, int id) { return std::find(buttons.begin(), buttons.end(), id) != buttons.end(); }

// The button that turns a box down, so that the plug-in cleans up and ends.
int RefusingButton(UINT flags) {
  const std::vector<int> buttons = AnswerPolicy::Buttons(flags);
  for (int id : {IDCANCEL, IDNO, IDABORT})
    if (Has(buttons, id)) return id;
  return buttons.front();
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::vector<int> AnswerPolicy::Buttons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int AnswerPolicy::ButtonId(const std::string& name) {
  const std::string n = Lower(name);
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, IDABORT, IDIGNORE})
    if (n == ButtonName(id)) return id;
  return 0;
}

const char* AnswerPolicy::ButtonName(int id) {
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

const char* AnswerPolicy::SourceName(AnswerSource source) {
  switch (source) {
    case AnswerSource::kUser: return "user";
    case AnswerSource::kAnswer: return "answer";
    case AnswerSource::kYes: return "yes";
    case AnswerSource::kDefault: return "default";
    case AnswerSource::kStopped: return "stopped";
    case AnswerSource::kRetryLimit: return "retry-limit";
  }
  return "?";
}

bool AnswerPolicy::Declines(UINT flags, int button) {
  return Buttons(flags).size() > 1 && (button == IDNO || button == IDCANCEL || button == IDABORT);
}

AnswerDecision AnswerPolicy::Give(UINT flags, int button, AnswerSource source) {
  if (button == IDRETRY) {
    if (retriesGiven_ >= settings_.retries) return {AnswerDecision::Action::kGive, RefusingButton(flags), AnswerSource::kRetryLimit};
    ++retriesGiven_;
  }
  return {AnswerDecision::Action::kGive, button, source};
}

AnswerDecision AnswerPolicy::Decide(const std::string& text, UINT flags) {
  const std::vector<int> buttons = Buttons(flags);
  const bool ask = !settings_.batch;
  if (buttons.size() == 1) {
    if (ask) return {AnswerDecision::Action::kAsk, 0, AnswerSource::kUser};
    return {AnswerDecision::Action::kGive, buttons.front(), AnswerSource::kDefault};
  }
  for (const auto& [fragment, name] : settings_.answers) {
    const int id = ButtonId(name);
    if (text.find(fragment) != std::string::npos && Has(buttons, id)) return Give(flags, id, AnswerSource::kAnswer);
  }
  if (settings_.yes) {
    if (Has(buttons, IDYES)) return Give(flags, IDYES, AnswerSource::kYes);
    if (Has(buttons, IDOK)) return Give(flags, IDOK, AnswerSource::kYes);
  }
  if (ask) return {AnswerDecision::Action::kAsk, 0, AnswerSource::kUser};
  // Trying again to find a receiver changes nothing on it; anything else
  // the script did not answer is turned down.
  const int def = afx::UiPresenter::DefaultButton(flags);
  if (def == IDRETRY) return Give(flags, IDRETRY, AnswerSource::kDefault);
  return {AnswerDecision::Action::kGive, RefusingButton(flags), AnswerSource::kStopped};
}

AnswerDecision AnswerPolicy::Unanswered(UINT flags) {
  const std::vector<int> buttons = Buttons(flags);
  if (buttons.size() == 1) return {AnswerDecision::Action::kGive, buttons.front(), AnswerSource::kDefault};
  return {AnswerDecision::Action::kGive, RefusingButton(flags), AnswerSource::kStopped};
}

int AnswerPolicy::ParseTyped(UINT flags, const std::string& line) {
  const std::vector<int> buttons = Buttons(flags);
  const std::string typed = Lower(Trim(line));
  if (typed.empty()) return buttons.size() == 1 ? buttons.front() : 0;
  int found = 0;
  for (int id : buttons) {
    if (std::string(ButtonName(id)).rfind(typed, 0) != 0) continue;
    if (found) return 0;  // more than one button begins so
    found = id;
  }
  return found;
}

std::string AnswerPolicy::Fragment(const std::string& text) {
  constexpr size_t kMost = 40;
  std::string line;
  for (size_t start = 0; start < text.size() && line.empty();) {
    const size_t end = text.find('\n', start);
    line = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  if (line.size() <= kMost) return line;
  const size_t space = line.rfind(' ', kMost);
  return line.substr(0, space == std::string::npos || space == 0 ? kMost : space);
}

std::vector<std::string> AnswerPolicy::AnsweringOptions(const std::string& text, UINT flags) {
  std::vector<std::string> options;
  const std::string fragment = Fragment(text);
  const std::vector<int> buttons = Buttons(flags);
  for (int id : buttons) options.push_back("--answer " + ShellQuote(fragment + "=" + ButtonName(id)));
  if (Has(buttons, IDYES) || Has(buttons, IDOK)) options.push_back("--yes");
  return options;
}
