#include "port/TCPSerialPort.h"

#include <cerrno>
#include <mutex>

#include "afx/Clock.h"
#include "afx/Trace.h"
#include "port/SocketLibrary.h"

namespace {
constexpr DWORD kConnectTimeoutMs = 5000;
// Short, so that a stop request is seen between attempts.
constexpr DWORD kReconnectTimeoutMs = 1000;
}  // namespace

CTCPSerialPort::CTCPSerialPort(void* receiveContext, PortHandler receiveFunction, void* eventContext,
                               PortHandler eventFunction)
    : CSocketSerialPort(receiveContext, receiveFunction, eventContext, eventFunction) {}

CTCPSerialPort::~CTCPSerialPort() { Close(); }

BOOL CTCPSerialPort::Open(const char* name) {
  if (IsOpen()) return FALSE;
  std::string host;
  WORD port = 0;
  if (!CSocketLibrary::ParseName(name, kDefaultPort, &host, &port)) return FALSE;
  afx::Socket fd = CSocketLibrary::Open(afx::SocketKind::kStream);
  if (fd == afx::kNoSocket) return FALSE;
  afx::SocketAddress address;
  if (!CSocketLibrary::Resolve(host, port, &address) || !CSocketLibrary::Connect(fd, address, kConnectTimeoutMs)) {
    CSocketLibrary::Close(fd);
    m_state = kClosed;
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(Mutex());
  m_name = name;
  m_host = host;
  m_port = port;
  m_socket = fd;
  m_state = kConnected;
  return TRUE;
}

BOOL CTCPSerialPort::Close() {
  m_state = kClosing;
  if (StopAndCloseSocket()) m_state = kClosed;
  return IsOpen();
}

bool CTCPSerialPort::SendAll(const BYTE* data, std::size_t count) {
  std::lock_guard<std::mutex> lock(Mutex());
  if (m_state != kConnected || m_socket == afx::kNoSocket) return false;
  const long sent = afx::SendOnSocket(m_socket, data, count);
  if (sent == static_cast<long>(count)) return true;
  // What did not go is lost; the receive thread builds a new connection.
  m_state = kConnectionLost;
  return false;
}

BOOL CTCPSerialPort::Write(std::unique_ptr<CByteArray>& data) {
  if (!data) return FALSE;
  const bool sent = SendAll(data->data(), data->size());
  data.reset();
  return sent ? TRUE : FALSE;
}

BOOL CTCPSerialPort::SendBreak(DWORD) {
  // The far side needs a pause before the break frame; the duration asked for means nothing here.
  Sleep(300);
  return SendAll(kBreakFrame, sizeof kBreakFrame) ? TRUE : FALSE;
}

bool CTCPSerialPort::Reconnect() {
  {
    std::lock_guard<std::mutex> lock(Mutex());
    CSocketLibrary::Close(m_socket);
  }
  afx::Socket fd = CSocketLibrary::Open(afx::SocketKind::kStream);
  if (fd == afx::kNoSocket) return false;
  afx::SocketAddress address;
  if (!CSocketLibrary::Resolve(m_host, m_port, &address) ||
      !CSocketLibrary::Connect(fd, address, kReconnectTimeoutMs)) {
    CSocketLibrary::Close(fd);
    return false;
  }
  CSocketLibrary::SetKeepAlive(fd);
  CSocketLibrary::SetBlocking(fd);
  CSocketLibrary::SetReceiveTimeout(fd, 10);
  std::lock_guard<std::mutex> lock(Mutex());
  m_socket = fd;
  int lost = kConnectionLost;
  m_state.compare_exchange_strong(lost, kConnected);
  return true;
}

void CTCPSerialPort::ReceiveThread() {
  m_thread.SignalStarted();
  afx::Socket fd = afx::kNoSocket;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    fd = m_socket;
  }
  if (fd != afx::kNoSocket) {
    CSocketLibrary::SetBlocking(fd);
    CSocketLibrary::SetReceiveTimeout(fd, 10);
    CSocketLibrary::SetKeepAlive(fd);
  }
  BYTE buffer[1024];
  while (!m_stop.load()) {
    const int state = m_state.load();
    if (state == kConnected) {
      {
        std::lock_guard<std::mutex> lock(Mutex());
        fd = m_socket;
      }
      bool timedOut = false;
      const long n = afx::ReceiveFromSocket(fd, buffer, sizeof buffer, &timedOut);
      if (n > 0) {
        DeliverReceived(buffer, static_cast<DWORD>(n));
        continue;
      }
      if (timedOut) {
        Sleep(20);
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(Mutex());
        int connected = kConnected;
        m_state.compare_exchange_strong(connected, kConnectionLost);
      }
      Sleep(20);
    } else if (state == kConnectionLost) {
      Reconnect();  // a failure is tried again at once
    } else {
      Sleep(20);
    }
  }
  std::lock_guard<std::mutex> lock(Mutex());
  if (m_socket != afx::kNoSocket) {
    CSocketLibrary::SetBlocking(m_socket);
    CSocketLibrary::SetReceiveTimeout(m_socket, 1600);
  }
}
