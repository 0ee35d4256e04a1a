#include "host/MultiRun.h"

#include <cstdlib>
#include <thread>

#include "afx/System.h"
#include "host/Console.h"
#include "host/InterruptWatcher.h"
#include "hostlib/HostRegistry.h"
#include "hostlib/LastUsedComLock.h"
#include "hostlib/AnswerPolicy.h"

namespace {

constexpr size_t kTailLines = 20;
// The board is redrawn at most this often.
constexpr std::int64_t kRedrawNs = 200'000'000;

bool IsComNumber(const std::string& port) {
  return !port.empty() && port.find_first_not_of("0123456789") == std::string::npos;
}

size_t TerminalWidth(std::FILE* out) {
  if (const int columns = afx::TerminalColumns(out); columns > 20) return static_cast<size_t>(columns - 1);
  const char* columns = std::getenv("COLUMNS");
  const long n = columns ? std::strtol(columns, nullptr, 10) : 0;
  return n > 20 ? static_cast<size_t>(n - 1) : 99;
}

std::string Quote(const std::string& text) { return Console::JsonEscape(text); }

}  // namespace

void MultiRun::Inbox::Push(Item item) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    items.push_back(std::move(item));
  }
  wake.Set();
}

std::string MultiRun::PortLabel(const std::string& port) { return IsComNumber(port) ? "COM" + port : port; }

std::string MultiRun::TranscriptOf(const std::string& file, const std::string& port) {
  std::string tag = PortLabel(port);
  const size_t slash = tag.find_last_of('/');
  if (slash != std::string::npos) tag = tag.substr(slash + 1);
  const size_t dot = file.find_last_of('.');
  const size_t folder = file.find_last_of('/');
  if (dot == std::string::npos || (folder != std::string::npos && dot < folder) || dot == folder + 1)
    return file + "-" + tag;
  return file.substr(0, dot) + "-" + tag + file.substr(dot);
}

std::vector<std::string> MultiRun::ChildArguments(const Options& o, const std::string& program,
                                                  const std::string& port) {
  std::vector<std::string> a = {program};
  if (!o.plugin.empty()) a.insert(a.end(), {"--plugin", o.plugin});
  if (!o.registry.empty()) a.insert(a.end(), {"--registry", o.registry});
  if (o.ctrlAlt) a.push_back("--ctrl-alt");
  if (o.answering.batch) a.push_back("--batch");
  if (o.answering.yes) a.push_back("--yes");
  a.insert(a.end(), {"--retries", std::to_string(o.answering.retries)});
  for (const auto& [text, button] : o.answering.answers) a.insert(a.end(), {"--answer", text + "=" + button});
  for (const SetValue& v : o.sets) a.insert(a.end(), {v.key ? "--key" : "--set", v.dialog + ":" + v.control + "=" + v.value});
  if (o.trace) a.push_back("--trace");
  a.insert(a.end(), {"--json", "run", o.run.operation, "--port", port});
  const RunSettings& r = o.run;
  if (r.simulate) {
    std::string profile = r.profile;
    for (const auto& [p, file] : o.portProfiles)
      if (p == port) profile = file;
    a.push_back(profile.empty() ? "--simulate" : "--simulate=" + profile);
  }
  if (r.realtime) a.push_back("--realtime");
  char number[32];
  if (r.timeScale > 0) {
    std::snprintf(number, sizeof number, "%g", r.timeScale);
    a.insert(a.end(), {"--time-scale", number});
  }
  if (!r.transcript.empty()) a.insert(a.end(), {"--transcript", TranscriptOf(r.transcript, port)});
  std::snprintf(number, sizeof number, "%g", r.timeout);
  a.insert(a.end(), {"--timeout", number});
  std::snprintf(number, sizeof number, "%g", r.stopWait);
  a.insert(a.end(), {"--stop-wait", number});
  if (r.verify != RunSettings::Verify::kDefault) a.push_back(r.verify == RunSettings::Verify::kOn ? "--verify" : "--no-verify");
  return a;
}

MultiRun::MultiRun(const Options& options, std::string operationName, std::FILE* in, std::FILE* out, std::FILE* err)
    : options_(options),
      operation_(std::move(operationName)),
      in_(in),
      out_(out),
      err_(err),
      json_(options.json),
      terminal_(!options.json && afx::IsTerminal(out)),
      trace_(options.trace || std::getenv("TALVERN_TRACE")),
      labels_([&] {
        std::vector<std::string> labels;
        for (const std::string& p : options.ports) labels.push_back(PortLabel(p));
        return labels;
      }()),
      board_(labels_),
      children_(options.ports.size()) {}

MultiRun::~MultiRun() = default;

void MultiRun::Start(size_t index, const std::string& program) {
  std::shared_ptr<Inbox> inbox = inbox_;
  std::string error;
  children_[index].process = afx::Process::Start(
      ChildArguments(options_, program, options_.ports[index]),
      [inbox, index](afx::Process::Stream stream, const std::string& line) {
        inbox->Push(Item(stream == afx::Process::Stream::kOutput ? Item::Kind::kOutput : Item::Kind::kError, index, line));
      },
      [inbox, index](const afx::Process::Exit& exit) { inbox->Push(Item(Item::Kind::kExit, index, "", exit)); }, &error);
  if (!children_[index].process) {
    children_[index].stderrTail.push_back(error);
    Exited(index, afx::Process::Exit{false, 127});
  } else if (options_.answering.batch) {
    children_[index].process->CloseInput();  // nothing is asked in a batch run
  }
}

int MultiRun::Execute() {
  std::shared_ptr<Inbox> inbox = inbox_;
  // Before any other thread: Ctrl-C comes here and is handed on to every run.
  InterruptWatcher interrupts([inbox](int count) { inbox->Push(Item(Item::Kind::kInterrupt, static_cast<size_t>(count))); });
  if (!options_.answering.batch) {
    // Reads the person's answers; it may outlive the run, blocked in its read.
    std::FILE* in = in_;
    std::thread([inbox, in] {
      std::string pending;
      char buffer[4096];
      for (;;) {
        const long n = afx::ReadAvailable(in, buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
          inbox->Push(Item(Item::Kind::kInput, 0, pending.substr(0, end)));
      }
      if (!pending.empty()) inbox->Push(Item(Item::Kind::kInput, 0, pending));
      inbox->Push(Item(Item::Kind::kInputEnd));
    }).detach();
  }
  // Each run puts back the LastUsedCOM it found, which another run may have
  // set meanwhile; virtual receivers are not the user's ports, so the one
  // from before them all is put back at the end.
  const int lastUsed = ReadLastUsedCom();
  const std::string program = afx::Process::SelfPath();
  for (size_t i = 0; i < children_.size(); ++i) Start(i, program);
  Draw();
  for (;;) {
    std::deque<Item> items;
    {
      std::lock_guard<std::mutex> lock(inbox_->mutex);
      items.swap(inbox_->items);
    }
    for (const Item& item : items) Handle(item);
    bool all = true;
    for (const Child& c : children_) all = all && c.exited;
    if (all) break;
    if (dirty_ && machine_.NowNs() - lastDrawNs_ >= kRedrawNs) Draw();
    inbox_->wake.Wait(static_cast<DWORD>(kRedrawNs / 1'000'000));
  }
  if (options_.run.simulate) {
    LastUsedComLock lock;
    RestoreLastUsedCom(lastUsed);
  }
  active_ = -1;
  Say(held_);
  held_.clear();
  Draw();
  drawn_ = 0;
  if (json_) {
    std::string runs;
    for (size_t i = 0; i < board_.Size(); ++i) {
      const ReceiverBoard::Row& r = board_.At(i);
      char times[96];
      std::snprintf(times, sizeof times, ",\"exit_status\":%d,\"elapsed_s\":%.3f", r.exitStatus, r.elapsed);
      runs += std::string(runs.empty() ? "" : ",") + "{\"port\":" + Quote(r.port) + ",\"receiver\":" + Quote(r.receiver) +
              ",\"outcome\":" + Quote(r.outcome) + times;
      if (r.simulated >= 0) {
        std::snprintf(times, sizeof times, ",\"simulated_s\":%.3f", r.simulated);
        runs += times;
      }
      if (!r.versionBefore.empty()) runs += ",\"version_before\":" + Quote(r.versionBefore);
      if (!r.versionAfter.empty()) runs += ",\"version_after\":" + Quote(r.versionAfter);
      runs += "}";
    }
    std::fprintf(out_, "{\"event\":\"summary\",\"operation\":%s,\"exit_status\":%d,\"runs\":[%s]}\n",
                 Quote(operation_).c_str(), interrupts_ >= 2 ? 130 : board_.ExitStatus(), runs.c_str());
  } else {
    for (const std::string& line : board_.Summary(operation_)) std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
  return interrupts_ >= 2 ? 130 : board_.ExitStatus();
}

void MultiRun::Handle(const Item& item) {
  switch (item.kind) {
    case Item::Kind::kOutput:
      Event(item.index, item.line);
      break;
    case Item::Kind::kError: {
      if (trace_ && item.line.rfind("trace: ", 0) == 0) {
        Say({labels_[item.index] + ": " + item.line}, true);
        break;
      }
      auto& tail = children_[item.index].stderrTail;
      tail.push_back(item.line);
      if (tail.size() > kTailLines) tail.pop_front();
      break;
    }
    case Item::Kind::kExit:
      Exited(item.index, item.exit);
      break;
    case Item::Kind::kInput:
      Typed(item.line);
      break;
    case Item::Kind::kInputEnd:
      // Questions that nothing typed answers are unanswered from now on: the runs stop at them.
      inputEnded_ = true;
      NextQuestion();
      break;
    case Item::Kind::kInterrupt:
      Interrupted(static_cast<int>(item.index));
      break;
  }
}

void MultiRun::Event(size_t index, const std::string& line) {
  EventLine e;
  if (!EventLine::Parse(line, &e)) {
    auto& tail = children_[index].stderrTail;
    tail.push_back(line);
    if (tail.size() > kTailLines) tail.pop_front();
    return;
  }
  const bool ask = e.Event() == "ask" || e.Event() == "ask_file";
  const std::vector<std::string> lines = board_.Take(index, e, terminal_);
  dirty_ = true;
  if (ask) {
    children_[index].askLine = line;
    children_[index].ask = e;
    asking_.push_back(index);
    NextQuestion();
    return;
  }
  if (json_) Emit(index, line);
  else Say(lines);
}

void MultiRun::Exited(size_t index, const afx::Process::Exit& exit) {
  Child& c = children_[index];
  c.exited = true;
  for (auto it = asking_.begin(); it != asking_.end();)
    it = *it == index ? asking_.erase(it) : it + 1;
  if (active_ == static_cast<long>(index)) Answered();
  if (board_.At(index).done) return;
  // It ended without saying how: a crash, a kill, or a start that failed.
  std::string tail;
  for (const std::string& l : c.stderrTail) tail += (tail.empty() ? "" : "\n") + l;
  const std::string reason =
      interrupts_ >= 2
          ? "aborted by the second Ctrl-C before the run on " + labels_[index] +
                " reported its end; the receiver may be left in the middle of the operation: check it before its next run"
          : "the talvern that ran " + labels_[index] + " ended with " + exit.Describe() +
                " before it reported the end of its run" + (tail.empty() ? "" : "; it said: " + tail);
  Event(index, "{\"event\":\"done\",\"outcome\":\"failed\",\"exit_status\":1,\"reason\":" + Quote(reason) +
                   ",\"questions\":[],\"problems\":[],\"elapsed_s\":0}");
}

void MultiRun::Interrupted(int count) {
  interrupts_ = count;
  for (Child& c : children_)
    if (c.process && !c.exited) c.process->Interrupt();
  const std::string text = count == 1 ? "Cancelling every run... (Ctrl-C again aborts them all)" : "Aborting every run.";
  if (json_ || !terminal_) {
    std::fprintf(err_, "talvern: %s\n", text.c_str());
    std::fflush(err_);
  } else {
    Say({text});
  }
}

void MultiRun::NextQuestion() {
  if (active_ < 0) {
    if (asking_.empty()) return;
    active_ = static_cast<long>(asking_.front());
    asking_.pop_front();
    Prompt(false);
  }
  while (active_ >= 0 && !typed_.empty()) {
    const std::string line = typed_.front();
    typed_.pop_front();
    Typed(line);
  }
  if (active_ >= 0 && inputEnded_) {
    // Its run takes the end of its input as no answer.
    children_[static_cast<size_t>(active_)].process->CloseInput();
    if (!json_) std::fputs("\n", out_);
    Answered();
  }
}

void MultiRun::Answered() {
  active_ = -1;
  Say(held_);
  held_.clear();
  NextQuestion();
  Draw();
}

void MultiRun::Prompt(bool again) {
  const size_t index = static_cast<size_t>(active_);
  const EventLine& q = children_[index].ask;
  const bool file = q.Event() == "ask_file";
  if (json_) {
    if (!again) Emit(index, children_[index].askLine);
    return;
  }
  const UINT flags = static_cast<UINT>(q.Number("flags", 0));
  std::string buttons;
  for (int b : AnswerPolicy::Buttons(flags)) buttons += (buttons.empty() ? "" : ", ") + std::string(AnswerPolicy::ButtonName(b));
  std::string text;
  if (again) {
    text = file ? "Path (Enter cancels) > " : "Name a button: " + buttons + " (a unique beginning is enough) > ";
  } else if (file) {
    std::string kinds;
    for (const std::string& k : q.Texts("kinds")) kinds += "\n    " + k;
    text = "\n-- " + labels_[index] + ": " + (q.Flag("open") ? "open" : "save") + " a file" +
           (kinds.empty() ? "" : " of one of these kinds:" + kinds) + "\nPath (Enter cancels) > ";
  } else {
    std::string list;
    const bool single = AnswerPolicy::Buttons(flags).size() == 1;
    for (int b : AnswerPolicy::Buttons(flags)) list += " [" + std::string(AnswerPolicy::ButtonName(b)) + (single ? "*]" : "]");
    text = "\n-- " + labels_[index] + ": " + q.Text("caption") + " --\n" + q.Text("text") + "\n" + list + " > ";
  }
  if (!again) Draw();
  drawn_ = 0;  // the prompt is below the board, which is drawn anew below it
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

void MultiRun::Typed(const std::string& line) {
  if (active_ < 0) {
    typed_.push_back(line);
    return;
  }
  const size_t index = static_cast<size_t>(active_);
  Child& c = children_[index];
  std::string answer = line;
  if (c.ask.Event() == "ask") {
    const int button = AnswerPolicy::ParseTyped(static_cast<UINT>(c.ask.Number("flags", 0)), line);
    if (!button) return Prompt(true);
    answer = AnswerPolicy::ButtonName(button);
  }
  c.process->Write(answer + "\n");
  Answered();
}

void MultiRun::Say(const std::vector<std::string>& lines, bool toErr) {
  if (lines.empty()) return;
  if (!terminal_) {
    std::FILE* to = json_ || toErr ? err_ : out_;
    for (const std::string& l : lines) std::fprintf(to, "%s\n", l.c_str());
    std::fflush(to);
    return;
  }
  if (active_ >= 0) {
    held_.insert(held_.end(), lines.begin(), lines.end());
    return;
  }
  if (drawn_ > 0) std::fprintf(out_, "\033[%zuA\r\033[J", drawn_);
  drawn_ = 0;
  for (const std::string& l : lines) std::fprintf(out_, "%s\n", l.c_str());
  Draw();
}

void MultiRun::Draw() {
  if (!terminal_ || active_ >= 0) return;
  if (drawn_ > 0) std::fprintf(out_, "\033[%zuA", drawn_);
  const std::vector<std::string> lines = board_.Lines(TerminalWidth(out_));
  for (const std::string& l : lines) std::fprintf(out_, "\r\033[2K%s\n", l.c_str());
  std::fflush(out_);
  drawn_ = lines.size();
  lastDrawNs_ = machine_.NowNs();
  dirty_ = false;
}

void MultiRun::Emit(size_t index, const std::string& json) {
  std::fprintf(out_, "%s\n", EventLine::WithField(json, "port", labels_[index]).c_str());
  std::fflush(out_);
}
