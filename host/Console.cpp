#include "host/Console.h"

#include <unistd.h>

#include <cstdio>

#include "afx/Ui.h"
#include "host/InterruptWatcher.h"
#include "hostlib/RunOutcome.h"

Console::Console(bool json, std::FILE* out, std::FILE* err)
    : json_(json), out_(out), err_(err), tty_(!json && isatty(fileno(out))) {}

Console::~Console() = default;

void Console::OperationStarted(afx::Event& cancel) { interrupts_ = std::make_unique<InterruptWatcher>(cancel); }

void Console::OperationEnded() { interrupts_.reset(); }

std::string Console::JsonEscape(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          // Receiver texts are single-byte; keep them valid JSON whatever they hold.
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

std::string JsonList(const std::vector<std::string>& items) {
  std::string s = "[";
  for (const std::string& item : items) s += (s.size() > 1 ? "," : "") + Console::JsonEscape(item);
  return s + "]";
}

std::string FormJson(const FormReport& form) {
  std::string values = "{";
  for (const auto& [id, value] : form.values)
    values += (values.size() > 1 ? "," : "") + Console::JsonEscape(id) + ":" + Console::JsonEscape(value);
  std::string rows = "{";
  for (const auto& [id, list] : form.rows) {
    std::string cells = "[";
    for (const auto& row : list) cells += (cells.size() > 1 ? "," : "") + JsonList(row);
    rows += (rows.size() > 1 ? "," : "") + Console::JsonEscape(id) + ":" + cells + "]";
  }
  return "\"controls\":" + values + "},\"rows\":" + rows + "}";
}

std::string PlainForm(const FormReport& form) {
  std::string s;
  for (const auto& [id, value] : form.values) s += (s.empty() ? "" : ", ") + id + "=" + value;
  for (const auto& [id, list] : form.rows)
    for (size_t r = 0; r < list.size(); ++r) {
      std::string row;
      for (const auto& cell : list[r]) row += (row.empty() ? "" : " | ") + cell;
      s += "\n    " + id + " #" + std::to_string(r) + " " + row;
    }
  return s;
}

std::string QuestionJson(const Question& q) {
  return "\"text\":" + Console::JsonEscape(q.text) + ",\"caption\":" + Console::JsonEscape(q.caption) +
         ",\"flags\":" + std::to_string(q.flags) + ",\"buttons\":" +
         Console::JsonEscape(afx::UiPresenter::ButtonSetName(q.flags)) + ",\"answer\":" +
         Console::JsonEscape(AnswerPolicy::ButtonName(q.button)) + ",\"source\":" +
         Console::JsonEscape(AnswerPolicy::SourceName(q.source));
}

}  // namespace

void Console::Emit(const std::string& json) {
  std::fprintf(out_, "%s\n", json.c_str());
  std::fflush(out_);
}

void Console::BreakLine() {
  if (inPlace_) {
    std::fputc('\n', out_);
    inPlace_ = false;
  }
}

void Console::Warning(const std::string& text) {
  if (json_) return Emit("{\"event\":\"warning\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: warning: %s\n", text.c_str());
}

void Console::Hint(const std::string& text) {
  if (json_) return Emit("{\"event\":\"hint\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: hint: %s\n", text.c_str());
}

void Console::Error(const std::string& text) {
  if (json_) Emit("{\"event\":\"error\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: %s\n", text.c_str());
}

void Console::Line(const std::string& text) {
  if (json_) return;
  BreakLine();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void Console::Redraw() {
  if (!tty_) return;
  const int p = percent_ < 0 ? 0 : percent_ > 100 ? 100 : percent_;
  const int filled = p * 30 / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(30 - filled), '.');
  std::fprintf(out_, "\r\033[K[%s] %3d%%  %s", bar.c_str(), p, status_.c_str());
  std::fflush(out_);
  inPlace_ = true;
}

void Console::Caption(const std::string& text) {
  if (json_) return Emit("{\"event\":\"caption\",\"text\":" + JsonEscape(text) + "}");
  Line("== " + text + " ==");
}

void Console::Status(const std::string& text) {
  status_ = text;
  if (json_) {
    Emit("{\"event\":\"status\",\"text\":" + JsonEscape(text) + "}");
  } else if (tty_) {
    Redraw();
  } else {
    std::fprintf(out_, "status: %s\n", text.c_str());
    std::fflush(out_);
  }
}

void Console::Progress(int percent) {
  const bool changed = percent != percent_;
  percent_ = percent;
  if (json_) {
    Emit("{\"event\":\"progress\",\"percent\":" + std::to_string(percent) + "}");
  } else if (tty_) {
    Redraw();
  } else if (changed && (percent / 10 != printedDecile_ || percent == 100)) {
    // A log or a pipe gets one line per tenth, not one per percent.
    printedDecile_ = percent / 10;
    std::fprintf(out_, "progress: %d%%\n", percent);
    std::fflush(out_);
  }
}

void Console::Text(int kind, const std::string& text) {
  if (json_) return Emit("{\"event\":\"text\",\"kind\":" + std::to_string(kind) + ",\"text\":" + JsonEscape(text) + "}");
  std::string plain;
  for (char c : text)
    if (c != '\r') plain += c == '\t' ? std::string("    ") : std::string(1, c);
  Line(plain);
}

void Console::Clipboard(const std::string& text) {
  if (json_) return Emit("{\"event\":\"clipboard\",\"text\":" + JsonEscape(text) + "}");
  Line("-- copied to the clipboard --");
  Line(text);
  Line("-- end of clipboard --");
}

void Console::AskEvent(const std::string& text, const std::string& caption, unsigned flags, const char* buttons) {
  if (!json_) return;
  Emit("{\"event\":\"ask\",\"text\":" + JsonEscape(text) + ",\"caption\":" + JsonEscape(caption) +
        ",\"flags\":" + std::to_string(flags) + ",\"buttons\":" + JsonEscape(buttons) + "}");
}

void Console::MessageBoxEvent(const Question& q, const std::vector<std::string>& options) {
  if (!json_) return;
  Emit("{\"event\":\"messagebox\"," + QuestionJson(q) + (options.empty() ? "" : ",\"options\":" + JsonList(options)) +
        "}");
}

void Console::DialogEvent(unsigned templateId, const std::string& caption, const FormReport& form,
                          const std::string& result) {
  if (!json_) return Line("[" + caption + " (" + std::to_string(templateId) + ")] " + PlainForm(form) + " -> " + result);
  Emit("{\"event\":\"dialog\",\"template\":" + std::to_string(templateId) + ",\"caption\":" + JsonEscape(caption) +
        "," + FormJson(form) + ",\"result\":" + JsonEscape(result) + "}");
}

void Console::PageEvent(int operation, int index, unsigned templateId, const FormReport& form,
                        const std::string& result) {
  if (!json_)
    return Line("[page " + std::to_string(index) + " (" + std::to_string(templateId) + ")] " + PlainForm(form) +
                " -> " + result);
  Emit("{\"event\":\"page\",\"operation\":" + std::to_string(operation) + ",\"index\":" + std::to_string(index) +
        ",\"template\":" + std::to_string(templateId) + "," + FormJson(form) + ",\"result\":" + JsonEscape(result) + "}");
}

void Console::Done(const RunOutcome& outcome) {
  const Outcome kind = outcome.Decide();
  char times[128];
  if (json_) {
    std::string questions = "[";
    for (const Question& q : outcome.Questions())
      if (AnswerPolicy::Buttons(q.flags).size() > 1) questions += (questions.size() > 1 ? ",{" : "{") + QuestionJson(q) + "}";
    std::snprintf(times, sizeof times, ",\"elapsed_s\":%.3f", outcome.Elapsed());  // 0 when it never started
    std::string json = "{\"event\":\"done\",\"outcome\":" + JsonEscape(RunOutcome::Name(kind)) +
                       ",\"exit_status\":" + std::to_string(outcome.ExitStatus()) + ",\"reason\":" +
                       JsonEscape(outcome.Reason()) + ",\"questions\":" + questions + "],\"problems\":" +
                       JsonList(outcome.Problems());
    if (outcome.Ran())
      json += ",\"plugin_result\":" + std::to_string(outcome.PluginResult()) + ",\"status\":" +
              JsonEscape(outcome.LastStatus());
    json += times;
    if (outcome.VirtualRun()) {
      std::snprintf(times, sizeof times, ",\"simulated_s\":%.3f", outcome.Simulated());
      json += times;
    }
    return Emit(json + "}");
  }
  BreakLine();
  bool heading = false;
  for (const Question& q : outcome.Questions()) {
    if (AnswerPolicy::Buttons(q.flags).size() < 2) continue;
    if (!heading) Line("Questions:");
    heading = true;
    Line("  \"" + AnswerPolicy::Fragment(q.text) + "\" -> " + AnswerPolicy::ButtonName(q.button) + " (" +
         AnswerPolicy::SourceName(q.source) + ")");
  }
  if (!outcome.Timed())
    std::snprintf(times, sizeof times, ".");
  else if (outcome.VirtualRun())
    std::snprintf(times, sizeof times, ": %.1f s of receiver time simulated in %.2f s.", outcome.Simulated(),
                  outcome.Elapsed());
  else
    std::snprintf(times, sizeof times, " after %.1f s.", outcome.Elapsed());
  Line(std::string("Operation ") + RunOutcome::Verb(kind) + times);
}
