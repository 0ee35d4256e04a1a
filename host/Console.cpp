#include "host/Console.h"


#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "afx/Ui.h"
#include "afx/System.h"
#include "host/InterruptWatcher.h"
#include "hostlib/RunOutcome.h"

Console::Console(bool json, std::FILE* out, std::FILE* err)
    : json_(json), out_(out), err_(err), tty_(!json && afx::IsTerminal(out)) {}

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

std::string Console::RateText(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond < 1000) std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  else if (bytesPerSecond < 1e6) std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1e3);
  else std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
  return text;
}

std::string Console::TimeLeftText(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s < 60) std::snprintf(text, sizeof text, "%ld s left", s);
  else if (s < 3600) std::snprintf(text, sizeof text, "%ld:%02ld left", s / 60, s % 60);
  else std::snprintf(text, sizeof text, "%ld:%02ld:%02ld left", s / 3600, s / 60 % 60, s % 60);
  return text;
}

void Console::Emit(const std::string& json) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::fprintf(out_, "%s\n", json.c_str());
  std::fflush(out_);
}

void Console::BreakLine() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (inPlace_) {
    std::fputc('\n', out_);
    inPlace_ = false;
  }
}

void Console::Warning(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (json_) return Emit("{\"event\":\"warning\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: warning: %s\n", text.c_str());
}

void Console::Hint(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (json_) return Emit("{\"event\":\"hint\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: hint: %s\n", text.c_str());
}

void Console::Error(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (json_) Emit("{\"event\":\"error\",\"text\":" + JsonEscape(text) + "}");
  BreakLine();
  std::fprintf(err_, "talvern: %s\n", text.c_str());
}

void Console::Line(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (json_) return;
  BreakLine();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void Console::Redraw() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!tty_) return;
  const int p = percent_ < 0 ? 0 : percent_ > 100 ? 100 : percent_;
  const int filled = p * 30 / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(30 - filled), '.');
  std::string rate;
  if (rate_.bytesPerSecond >= 0) rate += "  " + RateText(rate_.bytesPerSecond);
  if (rate_.secondsLeft >= 0) rate += "  " + TimeLeftText(rate_.secondsLeft);
  std::fprintf(out_, "\r\033[K[%s] %3d%%%s  %s", bar.c_str(), p, rate.c_str(), status_.c_str());
  std::fflush(out_);
  inPlace_ = true;
}

void Console::Caption(const std::string& text) {
  if (json_) return Emit("{\"event\":\"caption\",\"text\":" + JsonEscape(text) + "}");
  Line("== " + text + " ==");
}

void Console::Status(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
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

void Console::Progress(int percent) { ProgressWithRate(percent, TransferRate{}); }

void Console::ProgressWithRate(int percent, const TransferRate& rate) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const bool changed = percent != percent_;
  percent_ = percent;
  rate_ = rate;
  if (json_) {
    char fields[96] = "";
    if (rate.bytesPerSecond >= 0) std::snprintf(fields, sizeof fields, ",\"rate_bps\":%.0f", rate.bytesPerSecond);
    if (rate.secondsLeft >= 0)
      std::snprintf(fields + std::strlen(fields), sizeof fields - std::strlen(fields), ",\"eta_s\":%.0f",
                    rate.secondsLeft);
    Emit("{\"event\":\"progress\",\"percent\":" + std::to_string(percent) + fields + "}");
  } else if (tty_) {
    Redraw();
  } else if (changed && (percent / 10 != printedDecile_ || percent == 100)) {
    // A log or a pipe gets one line per tenth, not one per percent.
    printedDecile_ = percent / 10;
    std::string extra;
    if (rate.bytesPerSecond >= 0) extra += RateText(rate.bytesPerSecond);
    if (rate.secondsLeft >= 0) extra += (extra.empty() ? "" : ", ") + TimeLeftText(rate.secondsLeft);
    std::fprintf(out_, "progress: %d%%%s\n", percent, extra.empty() ? "" : (" (" + extra + ")").c_str());
    std::fflush(out_);
  }
}

void Console::Stopping(const std::string& why, int secondsWaited, const std::string& lastStatus) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (json_)
    return Emit("{\"event\":\"stopping\",\"reason\":" + JsonEscape(why) + ",\"waited_s\":" +
                std::to_string(secondsWaited) + ",\"status\":" + JsonEscape(lastStatus) + "}");
  BreakLine();
  std::fprintf(err_,
               "talvern: %s; waiting %d s so far for the operation to reach a point where it can stop (last status: "
               "%s)\n",
               why.c_str(), secondsWaited, lastStatus.empty() ? "none" : lastStatus.c_str());
  std::fflush(err_);
}

void Console::Trace(const std::string& line) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  BreakLine();
  std::string text = line;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::fprintf(err_, "trace: %s\n", text.c_str());
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

void Console::AskFileEvent(bool open, const std::vector<std::string>& kinds) {
  if (!json_) return;
  Emit(std::string("{\"event\":\"ask_file\",\"open\":") + (open ? "true" : "false") + ",\"kinds\":" + JsonList(kinds) + "}");
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

void Console::Receiver(const ReceiverIdentity& id) {
  if (json_)
    return Emit("{\"event\":\"receiver\",\"product\":" + JsonEscape(id.product) + ",\"serial\":" +
                JsonEscape(id.serial) + ",\"version\":" + JsonEscape(id.version) + "}");
  Line("Receiver: " + id.product + (id.serial.empty() ? "" : ", serial number " + id.serial) +
       (id.version.empty() ? "" : ", software " + id.version));
}

void Console::Abandoned(const RunOutcome& outcome) {
  Done(outcome);
  std::fflush(out_);
  std::fflush(err_);
  // The operation's thread stays in the plug-in; the port closes as the process ends.
  std::_Exit(outcome.ExitStatus());
}

void Console::Done(const RunOutcome& outcome) { Finish(outcome, ""); }

void Console::Finish(const RunOutcome& outcome, const std::string& closing) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
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
    if (outcome.TimedOut()) {
      std::snprintf(times, sizeof times, ",\"timed_out_s\":%g", outcome.TimeOut());
      json += times;
    }
    if (outcome.Abandoned()) json += ",\"abandoned\":true";
    if (!outcome.Serial().empty()) json += ",\"serial\":" + JsonEscape(outcome.Serial());
    if (!outcome.VersionBefore().empty()) json += ",\"version_before\":" + JsonEscape(outcome.VersionBefore());
    if (outcome.ReadBack()) json += ",\"version_after\":" + JsonEscape(outcome.VersionAfter());
    if (!outcome.VersionExpected().empty()) json += ",\"version_expected\":" + JsonEscape(outcome.VersionExpected());
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
  if (outcome.TimedOut()) {
    std::string text = outcome.TimeOutText();
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    Line(text + ".");
  }
  if (!closing.empty()) return Line(closing);
  if (!outcome.Timed())
    std::snprintf(times, sizeof times, ".");
  else if (outcome.VirtualRun())
    std::snprintf(times, sizeof times, ": %.1f s of receiver time simulated in %.2f s.", outcome.Simulated(),
                  outcome.Elapsed());
  else
    std::snprintf(times, sizeof times, " after %.1f s.", outcome.Elapsed());
  Line(std::string("Operation ") + RunOutcome::Verb(kind) + times);
}
