#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "afx/Interrupts.h"
#include "afx/win/WinCalls.h"

namespace afx {

// The console calls its control handlers on a thread it starts for each
// Ctrl-C; a program started by afx::Process, which has no console, gets its
// Ctrl-C as releases of its semaphore instead. The latest watch or hold
// answers either.
namespace {
std::mutex g_mutex;
InterruptWatch::State* g_watch = nullptr;
std::atomic<bool> g_holding{false};
std::atomic<bool> g_held{false};

BOOL WINAPI OnControl(DWORD event);

// While a watch or hold lives: a thread that takes each release of this
// process's semaphore, when its starter made one, as a Ctrl-C.
class SemaphoreListener {
 public:
  SemaphoreListener()
      : semaphore_(::OpenSemaphoreA(SYNCHRONIZE, FALSE,
                                    win::InterruptSemaphoreName(::GetCurrentProcessId()).c_str())) {
    if (!semaphore_) return;
    stop_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] {
      const HANDLE waits[2] = {stop_, semaphore_};
      while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        if (!OnControl(CTRL_C_EVENT)) ::ExitProcess(STATUS_CONTROL_C_EXIT);
    });
  }
  ~SemaphoreListener() {
    if (thread_.joinable()) {
      ::SetEvent(stop_);
      thread_.join();
    }
    if (stop_) ::CloseHandle(stop_);
    if (semaphore_) ::CloseHandle(semaphore_);
  }
  SemaphoreListener(const SemaphoreListener&) = delete;
  SemaphoreListener& operator=(const SemaphoreListener&) = delete;

 private:
  HANDLE semaphore_ = nullptr;
  HANDLE stop_ = nullptr;
  std::thread thread_;
};
}  // namespace

struct InterruptWatch::State {
  std::function<void(int)> onInterrupt;
  int count = 0;
  InterruptWatch::State* previous = nullptr;
  std::unique_ptr<SemaphoreListener> listener;
};

struct InterruptHold::State {
  std::unique_ptr<SemaphoreListener> listener;
};

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
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    state_->previous = g_watch;
    g_watch = state_.get();
  }
  ::SetConsoleCtrlHandler(OnControl, TRUE);
  state_->listener = std::make_unique<SemaphoreListener>();
}

InterruptWatch::~InterruptWatch() {
  // Its thread may be answering a Ctrl-C, under the lock.
  state_->listener.reset();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_watch = state_->previous;
  ::SetConsoleCtrlHandler(OnControl, FALSE);
}

InterruptHold::InterruptHold() : state_(std::make_unique<State>()) {
  g_held = false;
  g_holding = true;
  ::SetConsoleCtrlHandler(OnControl, TRUE);
  state_->listener = std::make_unique<SemaphoreListener>();
}

InterruptHold::~InterruptHold() {
  state_->listener.reset();
  g_holding = false;
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  // Delivered again, to this process alone: a watch takes it, or the program
  // ends as the console's own handler ends it.
  if (g_held && !OnControl(CTRL_C_EVENT)) ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace afx
