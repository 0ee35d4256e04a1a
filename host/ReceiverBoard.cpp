#include "host/ReceiverBoard.h"

#include <algorithm>
#include <cstdio>

#include "host/Console.h"
#include "hostlib/AnswerPolicy.h"

namespace {

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Bar(int percent) {
  const int p = std::clamp(percent, 0, 100);
  return "[" + std::string(static_cast<size_t>(p / 5), '#') + std::string(static_cast<size_t>(20 - p / 5), '.') + "]";
}

std::string Seconds(double s) {
  char text[32];
  const long t = static_cast<long>(s + 0.5);
  if (t < 60) std::snprintf(text, sizeof text, "%.1f s", s);
  else std::snprintf(text, sizeof text, "%ld:%02ld", t / 60, t % 60);
  return text;
}

// Lower is better; a run on its own ends with the same statuses.
int Rank(int status) {
  switch (status) {
    case 0: return 0;
    case 2: return 1;
    case 3: return 2;
    case 1: return 3;
    default: return 4;
  }
}

}  // namespace

ReceiverBoard::ReceiverBoard(const std::vector<std::string>& ports) {
  for (const std::string& p : ports) {
    rows_.emplace_back();
    rows_.back().port = p;
  }
}

std::string ReceiverBoard::OutcomeWords(const std::string& outcome) {
  if (outcome == "success") return "succeeded";
  if (outcome == "stopped") return "stopped at a question";
  if (outcome == "usage") return "usage error";
  return outcome;
}

std::vector<std::string> ReceiverBoard::Take(size_t index, const EventLine& e, bool terminal) {
  Row& r = rows_.at(index);
  const std::string& kind = e.Event();
  std::vector<std::string> out;
  auto say = [&](const std::string& text) { out.push_back(r.port + ": " + text); };
  if (kind == "status") {
    r.status = e.Text("text");
    if (!terminal) say("status: " + r.status);
  } else if (kind == "progress") {
    const int percent = static_cast<int>(e.Number("percent", 0));
    const bool changed = percent != r.percent;
    r.percent = percent;
    r.rate = e.Number("rate_bps");
    r.eta = e.Number("eta_s");
    if (!terminal && changed && (percent / 10 != r.printedDecile || percent == 100)) {
      r.printedDecile = percent / 10;
      std::string extra;
      if (r.rate >= 0) extra += Console::RateText(r.rate);
      if (r.eta >= 0) extra += (extra.empty() ? "" : ", ") + Console::TimeLeftText(r.eta);
      say("progress: " + std::to_string(percent) + "%" + (extra.empty() ? "" : " (" + extra + ")"));
    }
  } else if (kind == "receiver") {
    r.receiver = e.Text("serial");
    const std::string version = e.Text("version");
    say("receiver " + e.Text("product") + (r.receiver.empty() ? "" : ", serial number " + r.receiver) +
        (version.empty() ? "" : ", software " + version));
  } else if (kind == "warning" || kind == "hint" || kind == "error") {
    say(kind + ": " + e.Text("text"));
  } else if (kind == "stopping") {
    r.status = e.Text("reason") + "; waiting " + std::to_string(static_cast<int>(e.Number("waited_s", 0))) +
               " s for the operation to stop";
    if (!terminal) say(r.status);
  } else if (kind == "ask" || kind == "ask_file") {
    r.question = kind == "ask" ? AnswerPolicy::Fragment(e.Text("text")) : "a file";
  } else if (kind == "messagebox") {
    r.question.clear();
    const std::string source = e.Text("source");
    if (source != "user" || !terminal)
      say("[" + e.Text("caption") + "] " + AnswerPolicy::Fragment(e.Text("text")) + " -> " + e.Text("answer") + " (" +
          source + ")");
  } else if (kind == "dialog" || kind == "page") {
    r.question.clear();
    if (!terminal)
      say("[" + (kind == "page" ? "page " + std::to_string(static_cast<int>(e.Number("index", 0))) : e.Text("caption")) +
          " (" + std::to_string(static_cast<int>(e.Number("template", 0))) + ")] -> " + e.Text("result"));
  } else if (kind == "clipboard") {
    say("copied to the clipboard: " + e.Text("text"));
  } else if (kind == "done") {
    r.done = true;
    r.question.clear();
    r.outcome = e.Text("outcome");
    r.exitStatus = static_cast<int>(e.Number("exit_status", 1));
    r.reason = e.Text("reason");
    r.elapsed = e.Number("elapsed_s", 0);
    r.simulated = e.Number("simulated_s");
    r.versionBefore = e.Text("version_before");
    r.versionAfter = e.Text("version_after");
    r.versionExpected = e.Text("version_expected");
    if (r.receiver.empty()) r.receiver = e.Text("serial");
    if (!terminal) say("Operation " + OutcomeWords(r.outcome) + (r.reason.empty() ? "." : ": " + r.reason));
  }
  return out;
}

std::vector<std::string> ReceiverBoard::Lines(size_t width) const {
  size_t portWidth = 4, receiverWidth = 10;
  for (const Row& r : rows_) {
    portWidth = std::max(portWidth, r.port.size());
    receiverWidth = std::max(receiverWidth, r.receiver.size());
  }
  std::vector<std::string> lines;
  for (const Row& r : rows_) {
    std::string line = Pad(r.port, portWidth) + "  " + Pad(r.receiver.empty() ? "-" : r.receiver, receiverWidth) + "  ";
    if (r.done) {
      line += OutcomeWords(r.outcome);
      if (!r.versionAfter.empty()) line += " (" + (r.versionBefore.empty() ? "?" : r.versionBefore) + " -> " + r.versionAfter + ")";
      if (r.outcome != "success" && !r.reason.empty()) line += ": " + r.reason;
    } else {
      char percent[8];
      std::snprintf(percent, sizeof percent, "%3d%%", std::clamp(r.percent, 0, 100));
      line += Bar(r.percent) + " " + percent;
      if (r.rate >= 0) line += "  " + Console::RateText(r.rate);
      if (r.eta >= 0) line += "  " + Console::TimeLeftText(r.eta);
      line += "  " + (r.question.empty() ? r.status : "waiting for an answer: " + r.question);
    }
    if (line.size() > width) line.resize(width);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> ReceiverBoard::Summary(const std::string& operation) const {
  const std::vector<std::string> head = {"port", "receiver", "operation", "outcome", "time", "before", "after"};
  std::vector<std::vector<std::string>> table = {head};
  bool simulated = false;
  for (const Row& r : rows_) {
    simulated = simulated || r.simulated >= 0;
    table.push_back({r.port, r.receiver.empty() ? "-" : r.receiver, operation,
                     r.done ? OutcomeWords(r.outcome) : "not ended",
                     r.done ? Seconds(r.simulated >= 0 ? r.simulated : r.elapsed) : "-",
                     r.versionBefore.empty() ? "-" : r.versionBefore, r.versionAfter.empty() ? "-" : r.versionAfter});
  }
  std::vector<size_t> widths(head.size(), 0);
  for (const auto& row : table)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  std::vector<std::string> lines = {"Summary:"};
  for (const auto& row : table) {
    std::string line = " ";
    for (size_t c = 0; c < row.size(); ++c) line += " " + Pad(row[c], c + 1 < row.size() ? widths[c] + 1 : 0);
    lines.push_back(line);
  }
  if (simulated) lines.push_back("  (time: the receiver's time of a simulated run)");
  for (const Row& r : rows_)
    if (r.done && r.outcome != "success" && !r.reason.empty())
      lines.push_back("  " + r.port + " " + OutcomeWords(r.outcome) + ": " + r.reason);
  std::string tally;
  for (const char* outcome : {"success", "failed", "usage", "stopped", "cancelled", "declined", ""}) {
    const auto n = std::count_if(rows_.begin(), rows_.end(), [&](const Row& r) { return (r.done ? r.outcome : "") == outcome; });
    if (n) tally += (tally.empty() ? "" : ", ") + std::to_string(n) + " " + (*outcome ? OutcomeWords(outcome) : "not ended");
  }
  lines.push_back(std::to_string(rows_.size()) + " receivers: " + tally + ".");
  return lines;
}

int ReceiverBoard::ExitStatus() const {
  int worst = 0;
  for (const Row& r : rows_) {
    const int status = r.done ? r.exitStatus : 1;
    if (Rank(status) > Rank(worst)) worst = status;
  }
  return worst;
}

bool ReceiverBoard::AllDone() const {
  return std::all_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.done; });
}
