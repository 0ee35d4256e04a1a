// What the TCP and UDP ports share: a socket guarded by the lock, and a
// receive thread that runs until the stop flag is set. Neither transport has
// line settings or a queue, so configuring only asks whether the socket is
// open, a purge has nothing to drop and WriteFirst is a plain write.
#pragma once
#include <atomic>

#include "port/MultiLock.h"
#include "port/PortThread.h"
#include "port/SerialPortInterface.h"
#include "port/SocketLibrary.h"

class CSocketSerialPort : public CSerialPortInterface, public MultiLock {
 public:
  static constexpr DWORD kStartWaitMs = 15000;
  static constexpr DWORD kStopWaitMs = 5000;

  BOOL IsOpen() override;
  BOOL Configure(const PortSettings& settings) override;
  BOOL Start() override;
  BOOL Purge(DWORD flags) override;
  BOOL WriteFirst(std::unique_ptr<CByteArray>& data) override;
  void SetReceiveHandler(void* context, PortHandler function) override;
  void SetEventHandler(void* context, PortHandler function) override;

 protected:
  using CSerialPortInterface::CSerialPortInterface;

  // Stops the receive thread (bounded) and closes the socket; true when no
  // socket is left open.
  bool StopAndCloseSocket();

  CPortThread m_thread;
  std::atomic<bool> m_stop{false};
  afx::Socket m_socket = afx::kNoSocket;  // replaced under the lock

 private:
  virtual void ReceiveThread() = 0;
};
