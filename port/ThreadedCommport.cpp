#include "port/ThreadedCommport.h"

#include <algorithm>

#include "afx/Clock.h"
#include "afx/Trace.h"

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
// A device without a pollable descriptor is looked at this often.
constexpr int kUnpollableTickMs = 10;

afx::COMMTIMEOUTS NormalTimeouts(DWORD readTimeout, DWORD baudRate) {
  // Return what is buffered, else the first byte, else nothing after readTimeout.
  return {afx::MAXDWORD, afx::MAXDWORD, readTimeout, baudRate ? 19200 / baudRate : 0, 2000};
}

afx::COMMTIMEOUTS IntervalTimeouts(DWORD readTimeout) {
  // A read ends 20 ms after the line goes quiet, so a burst arrives in one piece.
  return {20, 0, readTimeout, 0, 30000};
}

}  // namespace

tThreadedCommport::tThreadedCommport(void* receiveContext, PortHandler receiveFunction, void* eventContext,
                                     PortHandler eventFunction)
    : CSerialPortInterface(receiveContext, receiveFunction, eventContext, eventFunction),
      m_timeouts(NormalTimeouts(10000, 9600)) {}

tThreadedCommport::~tThreadedCommport() {
  // Unlike a port left to the system, ours cannot outlive its thread: stop it.
  if (m_thread.IsRunning()) {
    RaiseEvent(kStopEvent);
    m_thread.Stop(kThreadWaitMs);
  }
  CloseEvents();
}

BOOL tThreadedCommport::Open(const char* name) {
  if (IsOpen()) return FALSE;
  m_name = name ? name : "";
  if (!CCommPort::Open(name)) return FALSE;
  Purge(0);
  m_events = std::make_unique<afx::WakeEvents>(2);
  if (!m_events->Valid()) {
    CloseEvents();
    CCommPort::Close();
    return FALSE;
  }
  return TRUE;
}

BOOL tThreadedCommport::IsOpen() {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  return DeviceOpen();
}

BOOL tThreadedCommport::Configure(const PortSettings& settings) {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  if (!DeviceOpen()) return FALSE;
  // The write multiplier divides by the rate; a zero rate is a caller's mistake.
  if (settings.baudRate == 0) return FALSE;
  m_settings = settings;
  const bool interval = (settings.readTimeout >> 16) == PortSettings::kIntervalMarker;
  const DWORD readTimeout = interval ? (settings.readTimeout & 0xFFFF) : settings.readTimeout;
  m_settings.readTimeout = readTimeout;
  m_waitTimeout = readTimeout;
  m_timeouts = interval ? IntervalTimeouts(readTimeout) : NormalTimeouts(readTimeout, settings.baudRate);
  // The kernel sizes the terminal's queues itself; there is nothing to ask for.

  afx::LineSettings line;
  if (!m_device->GetLineSettings(&line)) return FALSE;
  line.baudRate = settings.baudRate;
  line.parity = settings.parity;
  line.byteSize = settings.dataBits;
  line.stopBits = settings.stopBits;
  line.outxCtsFlow = (settings.flowControl & 1) != 0;
  line.outxDsrFlow = false;
  line.dtrControl = 1;
  line.rtsControl = settings.flowControl ? 2 : 0;
  line.outX = false;
  line.inX = false;
  return m_device->SetLineSettings(line) ? TRUE : FALSE;
}

BOOL tThreadedCommport::Close() {
  {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (!DeviceOpen()) return FALSE;
  }
  bool lowered = false;
  {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    afx::LineSettings line;
    if (m_device->GetLineSettings(&line)) {
      line.dtrControl = 0;
      m_device->SetLineSettings(line);
      lowered = true;
    }
  }
  // Give the far end time to see DTR drop before the line goes away.
  if (lowered) Sleep(100);
  if (m_thread.IsRunning()) {
    RaiseEvent(kStopEvent);
    m_thread.Stop(kThreadWaitMs);
  }
  CloseEvents();
  CCommPort::Close();
  std::lock_guard<std::mutex> lock(m_queueLock);
  m_queue.clear();
  m_writeInProgress = false;
  return TRUE;
}

BOOL tThreadedCommport::Start() {
  if (m_thread.IsRunning()) return TRUE;
  if (!IsOpen()) return FALSE;
  m_thread.Start([this] { ReceiveThread(); }, kThreadWaitMs);
  return TRUE;
}

BOOL tThreadedCommport::Purge(DWORD flags) {
  {
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_queue.clear();
    // The array being written stays alive in the thread's hands; it is cut
    // short only when the caller asked for output to be dropped.
    if (m_writeInProgress && (flags & (afx::PURGE_TXABORT | afx::PURGE_TXCLEAR))) m_abortWrite = true;
  }
  if (flags & (afx::PURGE_RXABORT | afx::PURGE_RXCLEAR)) m_abortRead = true;
  const DWORD deviceFlags = flags & (afx::PURGE_TXABORT | afx::PURGE_RXABORT | afx::PURGE_TXCLEAR | afx::PURGE_RXCLEAR);
  if (deviceFlags == 0) return TRUE;
  std::lock_guard<std::mutex> lock(m_deviceLock);
  return DeviceOpen() && m_device->Purge(deviceFlags) ? TRUE : FALSE;
}

BOOL tThreadedCommport::Write(std::unique_ptr<CByteArray>& data) { return Enqueue(data, false); }

BOOL tThreadedCommport::WriteFirst(std::unique_ptr<CByteArray>& data) { return Enqueue(data, true); }

BOOL tThreadedCommport::Enqueue(std::unique_ptr<CByteArray>& data, bool first) {
  if (!data) return FALSE;
  {
    std::lock_guard<std::mutex> lock(m_queueLock);
    Queued entry(std::move(data));
    if (!first) {
      m_queue.push_back(std::move(entry));
    } else if (m_writeInProgress && !m_queue.empty()) {
      // The head is on the wire; it leaves the queue only when its write completes.
      m_queue.insert(m_queue.begin() + 1, std::move(entry));
    } else {
      m_queue.push_front(std::move(entry));
    }
  }
  SignalWriteQueued();
  return TRUE;
}

void tThreadedCommport::SignalWriteQueued() { RaiseEvent(kWriteQueuedEvent); }

void tThreadedCommport::RaiseEvent(int event) {
  if (m_events) m_events->Raise(event);
}

void tThreadedCommport::SetReceiveHandler(void* context, PortHandler function) {
  StoreReceiveHandler(context, function);
}

void tThreadedCommport::SetEventHandler(void* context, PortHandler function) { StoreEventHandler(context, function); }

BOOL tThreadedCommport::SendBreak(DWORD milliseconds) {
  {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (!DeviceOpen() || !m_device->SetBreak(true)) return FALSE;
  }
  Sleep(milliseconds);
  std::lock_guard<std::mutex> lock(m_deviceLock);
  return DeviceOpen() && m_device->SetBreak(false) ? TRUE : FALSE;
}

afx::COMMTIMEOUTS tThreadedCommport::GetTimeouts() {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  return m_timeouts;
}

std::size_t tThreadedCommport::QueuedCount() {
  std::lock_guard<std::mutex> lock(m_queueLock);
  return m_queue.size();
}

bool tThreadedCommport::IsWriteInProgress() {
  std::lock_guard<std::mutex> lock(m_queueLock);
  return m_writeInProgress;
}

void tThreadedCommport::CloseEvents() { m_events.reset(); }

// ---- the receive thread ----

bool tThreadedCommport::FillRead(PendingRead& read) {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  if (!DeviceOpen()) return false;
  DWORD got = 0;
  if (!m_device->Read(m_readBuffer + read.count, kReadBufferSize - read.count, &got)) return false;
  if (got > 0) {
    read.count += got;
    read.lastByteNs = afx::GetClock().NowNs();
  }
  return true;
}

afx::SerialReadTimer tThreadedCommport::ReadTimer(const PendingRead& read, const afx::COMMTIMEOUTS& t) {
  afx::SerialReadTimer timer(t, kReadBufferSize, read.issuedNs);
  if (read.count > 0) timer.BytesArrived(read.lastByteNs);
  return timer;
}

void tThreadedCommport::IssueReads(PendingRead& read) {
  // Each read that completes at once is delivered at once; stop with one left pending.
  for (;;) {
    if (m_abortRead.exchange(false)) read.count = 0;
    if (read.broken) return;
    if (!FillRead(read)) {
      read.broken = true;
      return;
    }
    const afx::COMMTIMEOUTS t = GetTimeouts();
    const std::int64_t now = afx::GetClock().NowNs();
    if (!ReadTimer(read, t).Complete(read.count, now)) return;
    const DWORD count = read.count;
    read = PendingRead{};
    read.issuedNs = now;
    if (count == 0) return;  // an empty completion: nothing waits, pend the next one
    DeliverReceived(m_readBuffer, count);
    // A stop request ends the loop even while bytes keep coming.
    if (m_events->IsRaised(kStopEvent)) return;
  }
}

void tThreadedCommport::StartNextWrite(PendingWrite& write) {
  afx::COMMTIMEOUTS t;
  {
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (m_writeInProgress || m_queue.empty()) return;
    write.data = m_queue.front();
    write.offset = 0;
    m_writeSize = write.data->size();
    m_writeInProgress = true;
    m_abortWrite = false;
  }
  t = GetTimeouts();
  const std::int64_t limitMs =
      static_cast<std::int64_t>(t.WriteTotalTimeoutMultiplier) * static_cast<std::int64_t>(write.data->size()) +
      t.WriteTotalTimeoutConstant;
  write.deadlineNs = limitMs > 0 ? afx::GetClock().NowNs() + limitMs * kNsPerMs : INT64_MAX;
  ContinueWrite(write);
}

void tThreadedCommport::ContinueWrite(PendingWrite& write) {
  if (!write.data) return;
  {
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (m_abortWrite) {
      // The purge already took the array off the queue.
      m_abortWrite = false;
      m_writeInProgress = false;
      write = PendingWrite{};
      return;
    }
  }
  const CByteArray& bytes = *write.data;
  DWORD written = 0;
  bool ok = false;
  {
    std::lock_guard<std::mutex> lock(m_deviceLock);
    const DWORD rest = static_cast<DWORD>(bytes.size() - write.offset);
    ok = DeviceOpen() && m_device->Write(bytes.data() + write.offset, rest, &written);
  }
  write.offset += written;
  if (!ok && write.offset == 0) {
    // Failed outright: the array stays at the head for the next write-queued event.
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_writeInProgress = false;
    write = PendingWrite{};
    return;
  }
  // Done, timed out or failed part-way: either way this write has completed.
  if (!ok || write.offset == bytes.size() || afx::GetClock().NowNs() >= write.deadlineNs)
    FinishWrite(write, true);
}

void tThreadedCommport::FinishWrite(PendingWrite& write, bool removeHead) {
  {
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (removeHead && !m_queue.empty() && m_queue.front() == write.data) m_queue.pop_front();
    m_writeInProgress = false;
  }
  write = PendingWrite{};
  StartNextWrite(write);
}

void tThreadedCommport::ReceiveThread() {
  m_thread.SignalStarted();
  PendingRead read;
  PendingWrite write;
  read.issuedNs = afx::GetClock().NowNs();
  IssueReads(read);
  for (;;) {
    int deviceFd = -1;
    {
      std::lock_guard<std::mutex> lock(m_deviceLock);
      deviceFd = DevicePollFd();
    }
    const afx::COMMTIMEOUTS t = GetTimeouts();
    const std::int64_t now = afx::GetClock().NowNs();
    std::int64_t waitMs = m_waitTimeout.load();
    if (!read.broken) {
      const std::int64_t deadline = ReadTimer(read, t).Deadline(read.count);
      if (deadline != INT64_MAX)
        waitMs = std::min(waitMs, (std::max<std::int64_t>(deadline - now, 0) + kNsPerMs - 1) / kNsPerMs);
    }
    if (write.data && write.deadlineNs != INT64_MAX)
      waitMs = std::min(waitMs, (std::max<std::int64_t>(write.deadlineNs - now, 0) + kNsPerMs - 1) / kNsPerMs);
    if (deviceFd < 0) waitMs = std::min<std::int64_t>(waitMs, kUnpollableTickMs);

    const afx::WakeEvents::Result woke =
        m_events->Wait(deviceFd, !read.broken, write.data != nullptr, static_cast<int>(std::min<std::int64_t>(waitMs, 60'000)));
    if (woke.failed) {
      TRACE("comm port %s: wait failed", m_name.c_str());
      break;
    }
    if (woke.raised & (1u << kStopEvent)) {
      m_events->Lower(kStopEvent);
      break;
    }
    if (woke.error) {
      // A line error: clear it and carry on.
      std::lock_guard<std::mutex> lock(m_deviceLock);
      DWORD errors = 0;
      if (DeviceOpen()) m_device->ClearError(&errors);
    }
    if (woke.ready == 0) read.broken = false;  // the wait time-out retries a read that could not be issued
    // A line that hung up stays readable forever; treat it like a failed read
    // instead of spinning on it.
    if (woke.hangUp && !woke.readable) read.broken = true;
    IssueReads(read);
    if (write.data && (woke.writable || woke.error || woke.hangUp || deviceFd < 0 ||
                       afx::GetClock().NowNs() >= write.deadlineNs))
      ContinueWrite(write);
    if (woke.raised & (1u << kWriteQueuedEvent)) {
      m_events->Lower(kWriteQueuedEvent);
      if (!write.data) StartNextWrite(write);
    }
  }
}
