#include "port/PortThread.h"

#include "afx/Trace.h"

CPortThread::~CPortThread() {
  // A joinable std::thread must not be destroyed; owners stop the thread in
  // their Close, so this only catches an owner that never did.
  if (m_thread.joinable()) m_thread.detach();
}

bool CPortThread::Start(std::function<void()> body, DWORD waitMs) {
  if (m_thread.joinable()) return false;
  m_started.Reset();
  m_ended = std::make_shared<afx::Event>(true, false);
  m_thread = std::thread([body = std::move(body), ended = m_ended] {
    body();
    ended->Set();
  });
  if (m_started.Wait(waitMs) != WAIT_OBJECT_0) TRACE("port thread did not report within %u ms", waitMs);
  return true;
}

bool CPortThread::Stop(DWORD waitMs) {
  if (!m_thread.joinable()) return true;
  if (m_ended->Wait(waitMs) == WAIT_OBJECT_0) {
    m_thread.join();
    return true;
  }
  // The bound ran out (a receive handler that blocks); the caller goes on.
  TRACE("port thread still running after %u ms; left behind", waitMs);
  m_thread.detach();
  return false;
}
