// The receive thread of a port: started once, signals that it runs, and is
// waited for with a bound when the port stops it.
#pragma once
#include <functional>
#include <memory>
#include <thread>

#include "afx/Window.h"
#include "afx/WinTypes.h"

class CPortThread {
 public:
  CPortThread() = default;
  ~CPortThread();
  CPortThread(const CPortThread&) = delete;
  CPortThread& operator=(const CPortThread&) = delete;

  // Runs `body` on a new thread and waits up to `waitMs` for SignalStarted.
  // FALSE when a thread is already there.
  bool Start(std::function<void()> body, DWORD waitMs);
  // Called by the body once it runs.
  void SignalStarted() { m_started.Set(); }
  // Waits up to `waitMs` for the body (already asked to end) to return.
  // TRUE when it ended; otherwise the thread is left to finish on its own.
  bool Stop(DWORD waitMs);
  bool IsRunning() const { return m_thread.joinable(); }

 private:
  std::thread m_thread;
  afx::Event m_started{false, false};
  std::shared_ptr<afx::Event> m_ended;
};
