// Ctrl-C at the console (SIGINT on POSIX, the console's control handler on
// Windows), for a host that stops a run on the first and ends on the second.
#pragma once
#include <functional>
#include <memory>

namespace afx {

// While one lives, every Ctrl-C calls `onInterrupt` with the count so far,
// on a thread of its own (never in a signal handler), instead of ending
// the program.
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void(int count)> onInterrupt);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// Holds Ctrl-C back for a scope that must not be cut short. A Ctrl-C
// meanwhile ends a console read that waits for input, as the end of the
// input does, and is delivered again when the scope ends.
class InterruptHold {
 public:
  InterruptHold();
  ~InterruptHold();
  InterruptHold(const InterruptHold&) = delete;
  InterruptHold& operator=(const InterruptHold&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace afx
