#include "port/SocketSerialPort.h"

#include <mutex>

#include "port/SocketLibrary.h"

BOOL CSocketSerialPort::IsOpen() {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_socket != afx::kNoSocket;
}

BOOL CSocketSerialPort::Configure(const PortSettings&) { return IsOpen(); }

BOOL CSocketSerialPort::Start() {
  if (m_thread.IsRunning()) return TRUE;
  m_stop = false;
  m_thread.Start([this] { ReceiveThread(); }, kStartWaitMs);
  return TRUE;
}

BOOL CSocketSerialPort::Purge(DWORD) { return TRUE; }

BOOL CSocketSerialPort::WriteFirst(std::unique_ptr<CByteArray>& data) { return Write(data); }

void CSocketSerialPort::SetReceiveHandler(void* context, PortHandler function) {
  StoreReceiveHandler(context, function);
}

void CSocketSerialPort::SetEventHandler(void* context, PortHandler function) { StoreEventHandler(context, function); }

bool CSocketSerialPort::StopAndCloseSocket() {
  if (m_thread.IsRunning()) {
    m_stop.exchange(true);
    m_thread.Stop(kStopWaitMs);
  }
  std::lock_guard<std::mutex> lock(Mutex());
  return m_socket == afx::kNoSocket || CSocketLibrary::Close(m_socket);
}
