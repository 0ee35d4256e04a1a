// A serial port driven by its own receive thread. One read of up to 1024
// bytes is always outstanding and its bytes go to the receive handler on that
// thread; queued arrays are written in order, one write per array.
//
// The thread waits on the device and on two wake-up events (stop and
// write-queued, afx::WakeEvents), and carries out the pending read and write itself under the
// read and write time-outs set by Configure, so that reading goes on while a
// long write is under way.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "afx/SerialDevice.h"
#include "afx/SerialReadTimer.h"
#include "afx/WakeEvents.h"
#include "port/CommPort.h"
#include "port/PortThread.h"
#include "port/SerialPortInterface.h"

class tThreadedCommport : public CSerialPortInterface, public CCommPort {
 public:
  static constexpr DWORD kReadBufferSize = 1024;
  static constexpr DWORD kThreadWaitMs = 15000;

  tThreadedCommport(void* receiveContext, PortHandler receiveFunction, void* eventContext = nullptr,
                    PortHandler eventFunction = nullptr);
  ~tThreadedCommport() override;

  BOOL Open(const char* name) override;
  BOOL IsOpen() override;
  BOOL Configure(const PortSettings& settings) override;
  BOOL Close() override;
  BOOL Start() override;
  BOOL Purge(DWORD flags) override;
  BOOL Write(std::unique_ptr<CByteArray>& data) override;
  BOOL WriteFirst(std::unique_ptr<CByteArray>& data) override;
  void SetReceiveHandler(void* context, PortHandler function) override;
  void SetEventHandler(void* context, PortHandler function) override;
  BOOL SendBreak(DWORD milliseconds) override;

  // The read and write time-outs in force for the thread's requests.
  afx::COMMTIMEOUTS GetTimeouts();
  // How long the thread waits before it looks at an idle line again.
  DWORD GetWaitTimeout() const { return m_waitTimeout.load(); }
  // Arrays waiting, the one being written included.
  std::size_t QueuedCount();
  bool IsWriteInProgress();

 private:
  using Queued = std::shared_ptr<const CByteArray>;

  struct PendingRead {
    DWORD count = 0;
    std::int64_t issuedNs = 0;
    std::int64_t lastByteNs = 0;
    bool broken = false;  // could not be issued; retried after the wait time-out
  };
  struct PendingWrite {
    Queued data;          // shares the array, so a purge cannot free it mid-write
    std::size_t offset = 0;
    std::int64_t deadlineNs = INT64_MAX;
  };

  BOOL Enqueue(std::unique_ptr<CByteArray>& data, bool first);
  void SignalWriteQueued();
  void CloseEvents();
  void RaiseEvent(int event);
  void ReceiveThread();
  // Reads what the device holds into the pending read; FALSE on a device error.
  bool FillRead(PendingRead& read);
  // The time-out rules of the pending read under the time-outs in force.
  static afx::SerialReadTimer ReadTimer(const PendingRead& read, const afx::COMMTIMEOUTS& t);
  void IssueReads(PendingRead& read);
  void StartNextWrite(PendingWrite& write);
  void ContinueWrite(PendingWrite& write);
  void FinishWrite(PendingWrite& write, bool removeHead);

  CPortThread m_thread;
  static constexpr int kStopEvent = 0;
  static constexpr int kWriteQueuedEvent = 1;
  std::unique_ptr<afx::WakeEvents> m_events;  // while open
  BYTE m_readBuffer[kReadBufferSize] = {};
  std::atomic<DWORD> m_waitTimeout{10000};
  afx::COMMTIMEOUTS m_timeouts;  // guarded by m_deviceLock

  // The queue lock is a plain mutex rather than one acquired with a 500 ms
  // time-out: it is held only to move pointers, never across device I/O, so a
  // time-out could never run out in practice, and if it did the caller's array
  // would be silently dropped.
  std::mutex m_queueLock;
  std::deque<Queued> m_queue;          // index 0 is the head
  bool m_writeInProgress = false;      // guarded by m_queueLock
  bool m_abortWrite = false;           // guarded by m_queueLock
  std::size_t m_writeSize = 0;         // guarded by m_queueLock
  std::atomic<bool> m_abortRead{false};
};
