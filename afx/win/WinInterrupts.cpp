#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <mutex>

#include "afx/Interrupts.h"

namespace afx {

// The console calls its control handlers on a thread it starts for each
// Ctrl-C; the latest watch or hold answers it.
namespace {
std::mutex g_mutex;
InterruptWatch::State* g_watch = nullptr;
std::atomic<bool> g_holding{false};
std::atomic<bool> g_held{false};
}  // namespace

struct InterruptWatch::State {
  std::function<void(int)> onInterrupt;
  int count = 0;
  InterruptWatch::State* previous = nullptr;
};

struct InterruptHold::State {};

namespace {
BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (g_holding) {
    g_held = true;
    return TRUE;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_watch) return FALSE;  // the system's own: the program ends
  g_watch->onInterrupt(++g_watch->count);
  return TRUE;
}
}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int count)> onInterrupt) : state_(std::make_unique<State>()) {
  state_->onInterrupt = std::move(onInterrupt);
  std::lock_guard<std::mutex> lock(g_mutex);
  state_->previous = g_watch;
  g_watch = state_.get();
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_watch = state_->previous;
  ::SetConsoleCtrlHandler(OnControl, FALSE);
}

InterruptHold::InterruptHold() : state_(std::make_unique<State>()) {
  g_held = false;
  g_holding = true;
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptHold::~InterruptHold() {
  g_holding = false;
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  if (g_held) ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
}

}  // namespace afx
