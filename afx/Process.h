// A program this one starts and talks to: its standard input, output and
// error are pipes to this process, its output arrives as lines on a thread
// of its own, and its end comes with its exit status or the signal (on
// Windows, the exception) that ended it. It is apart from the terminal or
// console, so that Ctrl-C there reaches only this program, which passes it
// on with Interrupt(); the program sees that as its own Ctrl-C through
// InterruptWatch. A program whose starter has gone runs on to its end (its
// output goes nowhere) rather than being cut off. The system's part lives
// in one backend file per platform.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace afx {

class Process {
 public:
  struct Exit {
    bool signalled = false;
    int code = 0;  // the exit status, or the number of the signal (the exception's code) that ended it
    // "exit status 3", "signal 11 (Segmentation fault)", "exception 0xC0000005 (access violation)".
    std::string Describe() const;
  };
  enum class Stream { kOutput, kError };
  // Called on the process's reading thread, a line at a time without its end;
  // `onExit` last, once both streams have ended and the program is gone.
  using LineHandler = std::function<void(Stream stream, const std::string& line)>;
  using ExitHandler = std::function<void(const Exit& exit)>;

  // Starts `argv` (argv[0] the program's path); nullptr with `error` when it cannot.
  static std::unique_ptr<Process> Start(const std::vector<std::string>& argv, LineHandler onLine,
                                        ExitHandler onExit, std::string* error);
  // Waits until the program has ended and everything it wrote was handed on.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Writes to the program's standard input; false once it no longer reads.
  bool Write(const std::string& text);
  // Ends its standard input.
  void CloseInput();
  // What Ctrl-C does to it.
  void Interrupt();
  // Ends it at once.
  void Kill();
  int Id() const;

  // The path of the running program, for starting another copy of it.
  static std::string SelfPath();

  struct Impl;

 private:
  explicit Process(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace afx
