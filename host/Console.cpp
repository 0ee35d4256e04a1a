#include "host/Console.h"

#include <unistd.h>

#include <cstdio>

#include "host/InterruptWatcher.h"

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
std::string ControlsJson(const std::map<std::string, std::string>& controls) {
  std::string s = "{";
  bool first = true;
  for (const auto& [id, value] : controls) {
    if (!first) s += ",";
    first = false;
    s += Console::JsonEscape(id) + ":" + Console::JsonEscape(value);
  }
  return s + "}";
}
}  // namespace

void Console::BreakLine() {
  if (inPlace_) {
    std::fputc('\n', out_);
    inPlace_ = false;
  }
}

void Console::Warning(const std::string& text) { Line("warning: " + text); }

void Console::Error(const std::string& text) { std::fprintf(err_, "talvern: %s\n", text.c_str()); }

void Console::Hint(const std::string& text) {
  if (json_) {
    std::fprintf(out_, "{\"event\":\"hint\",\"text\":%s}\n", JsonEscape(text).c_str());
    std::fflush(out_);
    return;
  }
  BreakLine();
  std::fprintf(err_, "talvern: hint: %s\n", text.c_str());
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
  if (json_) {
    std::fprintf(out_, "{\"event\":\"caption\",\"text\":%s}\n", JsonEscape(text).c_str());
    std::fflush(out_);
    return;
  }
  Line("== " + text + " ==");
}

void Console::Status(const std::string& text) {
  status_ = text;
  if (json_) {
    std::fprintf(out_, "{\"event\":\"status\",\"text\":%s}\n", JsonEscape(text).c_str());
    std::fflush(out_);
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
    std::fprintf(out_, "{\"event\":\"progress\",\"percent\":%d}\n", percent);
    std::fflush(out_);
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
  if (json_) {
    std::fprintf(out_, "{\"event\":\"text\",\"kind\":%d,\"text\":%s}\n", kind, JsonEscape(text).c_str());
    std::fflush(out_);
    return;
  }
  std::string plain;
  for (char c : text)
    if (c != '\r') plain += c == '\t' ? std::string("    ") : std::string(1, c);
  Line(plain);
}

void Console::Clipboard(const std::string& text) {
  if (json_) {
    std::fprintf(out_, "{\"event\":\"clipboard\",\"text\":%s}\n", JsonEscape(text).c_str());
    std::fflush(out_);
    return;
  }
  Line("-- copied to the clipboard --");
  Line(text);
  Line("-- end of clipboard --");
}

void Console::MessageBoxEvent(const std::string& text, const std::string& caption, unsigned flags, const char* buttons,
                              const std::string& answer) {
  if (!json_) return;
  std::fprintf(out_, "{\"event\":\"messagebox\",\"text\":%s,\"caption\":%s,\"flags\":%u,\"buttons\":%s,\"answer\":%s}\n",
               JsonEscape(text).c_str(), JsonEscape(caption).c_str(), flags, JsonEscape(buttons).c_str(),
               JsonEscape(answer).c_str());
  std::fflush(out_);
}

namespace {
std::string PlainControls(const std::map<std::string, std::string>& controls) {
  std::string s;
  for (const auto& [id, value] : controls) {
    if (!s.empty()) s += ", ";
    s += id + "=" + value;
  }
  return s;
}
}  // namespace

void Console::DialogEvent(unsigned templateId, const std::string& caption,
                          const std::map<std::string, std::string>& controls, const std::string& result) {
  if (!json_) {
    Line("[" + caption + " (" + std::to_string(templateId) + ")] " + PlainControls(controls) + " -> " + result);
    return;
  }
  std::fprintf(out_, "{\"event\":\"dialog\",\"template\":%u,\"caption\":%s,\"controls\":%s,\"result\":%s}\n", templateId,
               JsonEscape(caption).c_str(), ControlsJson(controls).c_str(), JsonEscape(result).c_str());
  std::fflush(out_);
}

void Console::PageEvent(int operation, int index, unsigned templateId,
                        const std::map<std::string, std::string>& controls, const std::string& result) {
  if (!json_) {
    Line("[page " + std::to_string(index) + " (" + std::to_string(templateId) + ")] " + PlainControls(controls) +
         " -> " + result);
    return;
  }
  std::fprintf(out_, "{\"event\":\"page\",\"operation\":%d,\"index\":%d,\"template\":%u,\"controls\":%s,\"result\":%s}\n",
               operation, index, templateId, ControlsJson(controls).c_str(), JsonEscape(result).c_str());
  std::fflush(out_);
}

void Console::Done(int result, double elapsed, double simulated, bool simulatedRun) {
  if (json_) {
    if (simulatedRun)
      std::fprintf(out_, "{\"event\":\"done\",\"result\":%d,\"elapsed_s\":%.3f,\"simulated_s\":%.3f}\n", result, elapsed,
                   simulated);
    else
      std::fprintf(out_, "{\"event\":\"done\",\"result\":%d,\"elapsed_s\":%.3f}\n", result, elapsed);
    std::fflush(out_);
    return;
  }
  BreakLine();
  static const char* const kResults[] = {"failed", "succeeded", "cancelled"};
  const char* what = (result >= 0 && result <= 2) ? kResults[result] : "ended";
  char line[256];
  if (simulatedRun)
    std::snprintf(line, sizeof line, "Operation %s: %.1f s of receiver time simulated in %.2f s.", what, simulated,
                  elapsed);
  else
    std::snprintf(line, sizeof line, "Operation %s after %.1f s.", what, elapsed);
  Line(line);
}
