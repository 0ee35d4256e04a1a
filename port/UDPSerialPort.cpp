#include "port/UDPSerialPort.h"

#include <cstring>
#include <mutex>

#include "afx/Clock.h"
#include "afx/Trace.h"
#include "afx/Ui.h"
#include "port/SocketLibrary.h"

namespace {

constexpr int kConnectTries = 4;

DWORD ReadCounter(const BYTE* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

void WriteCounter(BYTE* p, DWORD value) {
  p[0] = static_cast<BYTE>(value >> 24);
  p[1] = static_cast<BYTE>(value >> 16);
  p[2] = static_cast<BYTE>(value >> 8);
  p[3] = static_cast<BYTE>(value);
}

std::int64_t TicksPerSecond() {
  std::int64_t frequency = 1;
  QueryPerformanceFrequency(&frequency);
  return frequency;
}

}  // namespace

CUDPSerialPort::CUDPSerialPort(void* receiveContext, PortHandler receiveFunction, void* eventContext,
                               PortHandler eventFunction)
    : CSocketSerialPort(receiveContext, receiveFunction, eventContext, eventFunction),
      m_pool(std::make_unique<Buffer[]>(kBufferCount)) {
  std::int64_t seed = 0;
  QueryPerformanceCounter(&seed);
  m_random.seed(static_cast<std::uint_fast32_t>(seed) | 1);
  ResetLink();
  m_linkState = kClosed;
}

CUDPSerialPort::~CUDPSerialPort() { Close(); }

std::int64_t CUDPSerialPort::Now() const {
  std::int64_t now = 0;
  QueryPerformanceCounter(&now);
  return now;
}

bool CUDPSerialPort::SetState(int from, int to) { return m_linkState.compare_exchange_strong(from, to); }

void CUDPSerialPort::ResetLink() {
  {
    std::lock_guard<std::mutex> lock(Mutex());
    m_counterSent = 0;
    m_linkId = 0;
    m_keepAliveInterval = 10;
  }
  m_counterReceived = 0;
  m_free = nullptr;
  m_held = nullptr;
  for (std::size_t i = 0; i < kBufferCount; ++i) PutFree(&m_pool[i]);
  m_lastActivity = Now();
  m_linkState = kConnecting;
}

BOOL CUDPSerialPort::Open(const char* name) {
  if (IsOpen()) return FALSE;
  std::string host;
  WORD port = 0;
  if (!CSocketLibrary::ParseName(name, kDefaultPort, &host, &port)) return FALSE;
  afx::Socket fd = CSocketLibrary::Open(afx::SocketKind::kDatagram);
  if (fd == afx::kNoSocket) return FALSE;
  afx::SocketAddress address;
  // Connecting fixes the peer: datagrams from anywhere else never reach us.
  if (!CSocketLibrary::Resolve(host, port, &address) || !CSocketLibrary::Connect(fd, address, 0)) {
    CSocketLibrary::Close(fd);
    AfxMessageBox(kConnectFailedText);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(Mutex());
    m_socket = fd;
  }
  m_name = name;
  SetSocketReceiveTimeout(6000);
  ResetLink();
  for (int attempt = 0; attempt < kConnectTries; ++attempt) {
    SetSocketReceiveTimeout(2000);
    SendDatagram(kConnectRequest, nullptr, 0);
    // The receiver takes its time to answer a connect request.
    Sleep(2000);
    ReceiveStep();
    if (GetLinkState() == kConnected) return TRUE;
    Sleep(3000);
  }
  Close();
  return FALSE;
}

BOOL CUDPSerialPort::Close() {
  if (SetState(kConnected, kDisconnecting)) {
    for (int attempt = 0; attempt < 3 && GetLinkState() != kClosed; ++attempt) {
      SendDatagram(kDisconnectRequest, nullptr, 0);
      Sleep(500);
    }
  }
  if (StopAndCloseSocket()) m_linkState = kClosed;
  return IsOpen();
}

BOOL CUDPSerialPort::Write(std::unique_ptr<CByteArray>& data) {
  if (!data) return FALSE;
  const bool sent = GetLinkState() == kConnected && SendDatagram(kData, data->data(), data->size());
  data.reset();
  return sent ? TRUE : FALSE;
}

BOOL CUDPSerialPort::SendBreak(DWORD) { return SendDatagram(kBreak, nullptr, 0) ? TRUE : FALSE; }

bool CUDPSerialPort::SetSocketReceiveTimeout(DWORD ms) {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_socket != afx::kNoSocket && CSocketLibrary::SetReceiveTimeout(m_socket, ms);
}

DWORD CUDPSerialPort::GetCounterSent() {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_counterSent;
}

BYTE CUDPSerialPort::GetLinkId() {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_linkId;
}

DWORD CUDPSerialPort::GetKeepAliveInterval() {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_keepAliveInterval;
}

std::size_t CUDPSerialPort::HeldCount() const {
  std::size_t count = 0;
  for (const Buffer* b = m_held; b; b = b->next) ++count;
  return count;
}

bool CUDPSerialPort::SendDatagram(BYTE kind, const BYTE* data, std::size_t count) {
  if (count > kMaxData) return false;
  BYTE datagram[kHeaderSize + kMaxData];
  std::lock_guard<std::mutex> lock(Mutex());
  // After a quiet spell the data asks for a sign of life as well.
  if (kind == kData && KeepAliveDue(Now())) kind = kKeepAlive;
  m_counterSent += static_cast<DWORD>(count + kHeaderSize);
  datagram[0] = kHeaderSize;
  datagram[1] = m_linkId;
  datagram[2] = kind;
  datagram[3] = 0;
  WriteCounter(datagram + 4, m_counterSent);
  if (count) std::memcpy(datagram + kHeaderSize, data, count);
  if (m_socket == afx::kNoSocket) return false;
  return afx::SendOnSocket(m_socket, datagram, kHeaderSize + count) == static_cast<long>(kHeaderSize + count);
}

bool CUDPSerialPort::KeepAliveDue(std::int64_t now) {
  if (now - m_lastActivity.load() <= std::int64_t{m_keepAliveInterval} * TicksPerSecond()) return false;
  m_keepAliveInterval += 5;
  return true;
}

CUDPSerialPort::Buffer* CUDPSerialPort::TakeFree() {
  Buffer* b = m_free;
  if (b) m_free = b->next;
  return b;
}

void CUDPSerialPort::PutFree(Buffer* buffer) {
  buffer->next = m_free;
  m_free = buffer;
}

CUDPSerialPort::Buffer* CUDPSerialPort::TakeFirstHeld() {
  Buffer* b = m_held;
  if (b) m_held = b->next;
  return b;
}

CUDPSerialPort::Buffer* CUDPSerialPort::TakeFreeOrGiveUpGap() {
  Buffer* buffer = TakeFree();
  if (buffer) return buffer;
  // Every buffer is held: give up the gap in front of the oldest one.
  DeliverInOrder(TakeFirstHeld());
  return TakeFree();
}

void CUDPSerialPort::ReceiveStep() {
  Buffer* buffer = TakeFreeOrGiveUpGap();
  if (!buffer) return;
  afx::Socket fd = afx::kNoSocket;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    fd = m_socket;
  }
  bool timedOut = false;
  const long n = fd != afx::kNoSocket ? afx::ReceiveFromSocket(fd, buffer->datagram, kMaxDatagram, &timedOut) : -1;
  const std::int64_t now = Now();
  if (n <= 0) {
    PutFree(buffer);
    if (m_held && now - m_held->receivedAt >= TicksPerSecond() / 3) {
      DeliverInOrder(TakeFirstHeld());
      return;
    }
    bool keepAliveDue = false;
    {
      std::lock_guard<std::mutex> lock(Mutex());
      keepAliveDue = KeepAliveDue(now);
    }
    if (keepAliveDue) SendDatagram(kKeepAlive, nullptr, 0);
    else Sleep(20);
    return;
  }
  buffer->receivedLength = static_cast<DWORD>(n);
  buffer->receivedAt = now;
  Accept(buffer);
}

void CUDPSerialPort::OnDatagram(const BYTE* data, std::size_t length) {
  Buffer* buffer = TakeFreeOrGiveUpGap();
  if (!buffer) return;
  const std::size_t n = std::min(length, kMaxDatagram);
  if (n) std::memcpy(buffer->datagram, data, n);
  buffer->receivedLength = static_cast<DWORD>(n);
  buffer->receivedAt = Now();
  Accept(buffer);
}

void CUDPSerialPort::Accept(Buffer* buffer) {
  const DWORD length = buffer->receivedLength;
  const BYTE headerLength = buffer->datagram[0];
  if (length < kHeaderSize || headerLength < kHeaderSize || headerLength > length) {
    PutFree(buffer);
    return;
  }
  buffer->counter = ReadCounter(buffer->datagram + 4);
  buffer->data = buffer->datagram + headerLength;
  buffer->dataLength = length - headerLength;
  const DWORD expected = m_counterReceived.load() + length;
  const bool connecting = GetLinkState() == kConnecting;
  if (buffer->counter < expected || (!connecting && buffer->datagram[1] != GetLinkId())) {
    PutFree(buffer);
    return;
  }
  if (!connecting && buffer->counter > expected) {
    // Early: hold it in counter order, behind any held one with an equal or lower counter.
    int place = 0;
    Buffer** link = &m_held;
    while (*link && (*link)->counter <= buffer->counter) {
      link = &(*link)->next;
      ++place;
    }
    buffer->next = *link;
    *link = buffer;
    if (buffer->next) ++place;
    if (place <= kMaxEarlyPlace) return;
    buffer = TakeFirstHeld();
  }
  DeliverInOrder(buffer);
}

void CUDPSerialPort::DeliverInOrder(Buffer* buffer) {
  while (buffer) {
    DeliverOne(buffer);
    // A held copy of something already delivered would repeat it: drop it.
    while (m_held && m_held->counter <= m_counterReceived) PutFree(TakeFirstHeld());
    buffer = m_held && m_held->counter - m_held->receivedLength == m_counterReceived ? TakeFirstHeld() : nullptr;
  }
}

void CUDPSerialPort::DeliverOne(Buffer* buffer) {
  m_counterReceived = buffer->counter;
  const BYTE link = buffer->datagram[1];
  switch (buffer->datagram[2]) {
    case kRestart1:
    case kRestart2:
      if (link != 0 && SetState(kConnected, kConnecting)) {
        {
          std::lock_guard<std::mutex> lock(Mutex());
          m_linkId = 0;
        }
        SendDatagram(kConnectRequest, nullptr, 0);
      }
      break;
    case kConnectRefused:
      SetState(kConnecting, kClosed);
      break;
    case kConnectAccepted:
      if (link != 0 && GetLinkState() == kConnecting) {
        {
          std::lock_guard<std::mutex> lock(Mutex());
          m_linkId = link;
        }
        SetState(kConnecting, kConnected);
      }
      break;
    case kDisconnectRequest:
      if (SetState(kConnected, kClosed)) SendDatagram(kDisconnectReply, nullptr, 0);
      break;
    case kDisconnectReply:
      SetState(kDisconnecting, kClosed);
      break;
    case kBreak:
      if (GetLinkState() == kConnected) SendDatagram(kBreakReply, nullptr, 0);
      break;
    case kKeepAlive:
      if (GetLinkState() == kConnected) SendDatagram(kKeepAliveReply, nullptr, 0);
      break;
    default:
      break;
  }
  m_lastActivity = buffer->receivedAt;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    m_keepAliveInterval = 10 + static_cast<DWORD>(m_random() % 10);
  }
  // An empty payload (a bare control datagram) is not a delivery.
  if (GetLinkState() == kConnected && buffer->dataLength > 0) DeliverReceived(buffer->data, buffer->dataLength);
  PutFree(buffer);
}

void CUDPSerialPort::ReceiveThread() {
  m_thread.SignalStarted();
  {
    std::lock_guard<std::mutex> lock(Mutex());
    if (m_socket != afx::kNoSocket) CSocketLibrary::SetBlocking(m_socket);
  }
  SetSocketReceiveTimeout(10);
  while (!m_stop.load()) ReceiveStep();
  SetSocketReceiveTimeout(1600);
  // Close is waiting for the far end's disconnect reply.
  if (GetLinkState() == kDisconnecting) ReceiveStep();
}
