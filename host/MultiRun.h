// `talvern run OP` on several receivers at once. Every receiver gets a
// talvern of its own (the plug-in's application object, its module state
// and its cancel event are one per process): started with the same options,
// --json and that one port; this one reads their events, shows them
// (ReceiverBoard, or with --json each event with its port), puts their
// questions to the person one at a time, hands Ctrl-C on to all of them, and
// ends with the summary. No receiver's failure, hang or crash touches the
// others' runs.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "afx/Process.h"
#include "afx/Window.h"
#include "host/Options.h"
#include "host/ReceiverBoard.h"
#include "hostlib/EventLine.h"

class MultiRun {
 public:
  MultiRun(const Options& options, std::string operationName, std::FILE* in, std::FILE* out, std::FILE* err);
  ~MultiRun();
  MultiRun(const MultiRun&) = delete;
  MultiRun& operator=(const MultiRun&) = delete;

  // Runs them all; the worst exit status of the runs (130 after a second Ctrl-C).
  int Execute();

  // The command line of the talvern that runs `port` (argv[0] is `program`).
  static std::vector<std::string> ChildArguments(const Options& options, const std::string& program,
                                                 const std::string& port);
  // "COM3" for "3"; a device path as it is.
  static std::string PortLabel(const std::string& port);
  // The transcript of `port` in a run on several: FILE-COM3.txt for FILE.txt.
  static std::string TranscriptOf(const std::string& file, const std::string& port);

 private:
  struct Item {
    enum class Kind { kOutput, kError, kExit, kInput, kInputEnd, kInterrupt };
    explicit Item(Kind k, size_t i = 0, std::string l = {}, afx::Process::Exit e = {})
        : kind(k), index(i), line(std::move(l)), exit(e) {}
    Kind kind;
    size_t index = 0;  // the port's; with kInterrupt, the Ctrl-C's count
    std::string line;
    afx::Process::Exit exit;
  };
  // What the children's threads, the input's and Ctrl-C's hand to the run;
  // shared, since the input's thread may outlive it.
  struct Inbox {
    std::mutex mutex;
    std::deque<Item> items;
    afx::Event wake{false, false};
    void Push(Item item);
  };
  struct Child {
    std::unique_ptr<afx::Process> process;
    bool exited = false;
    std::deque<std::string> stderrTail;
    std::string askLine;  // the question it waits at, as it came
    EventLine ask;
  };

  void Start(size_t index, const std::string& program);
  void Handle(const Item& item);
  void Event(size_t index, const std::string& line);
  void Exited(size_t index, const afx::Process::Exit& exit);
  void Interrupted(int count);
  // Puts the next question to the person when none is open.
  void NextQuestion();
  void Typed(const std::string& line);
  // The open question is done with: the next one, if any, is put.
  void Answered();
  void Prompt(bool again);
  // Lines for people: above the board on a terminal.
  void Say(const std::vector<std::string>& lines, bool toErr = false);
  void Draw();
  void Emit(size_t index, const std::string& json);
  bool Terminal() const { return terminal_; }

  const Options& options_;
  std::string operation_;
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
  bool json_;
  bool terminal_;
  bool trace_;
  std::vector<std::string> labels_;
  ReceiverBoard board_;
  std::vector<Child> children_;

  std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
  std::vector<std::string> held_;  // lines for people kept back while a question is open

  std::deque<size_t> asking_;
  long active_ = -1;  // the port whose question is open
  std::deque<std::string> typed_;
  bool inputEnded_ = false;
  int interrupts_ = 0;
  size_t drawn_ = 0;  // board lines on the screen below the cursor's line
  afx::RealClock machine_;
  std::int64_t lastDrawNs_ = 0;
  bool dirty_ = false;
};
