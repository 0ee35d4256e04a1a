// A receiver reached over TCP, behind the same interface as a serial port.
// The receive thread re-establishes a lost connection without limit; writes
// go out at once on the caller's thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "port/SocketSerialPort.h"

class CTCPSerialPort : public CSocketSerialPort {
 public:
  static constexpr WORD kDefaultPort = 4044;
  // The report frame that tells the receiver's network side to break.
  static constexpr BYTE kBreakFrame[14] = {0x02, 0x00, 0x6F, 0x08, 'T', 'C', 'P', 'B', 'R', 'E', 'A', 'K', 0xC3, 0x03};

  enum State { kClosed = 0, kConnectionLost = 1, kConnected = 2, kClosing = 3 };

  CTCPSerialPort(void* receiveContext, PortHandler receiveFunction, void* eventContext = nullptr,
                 PortHandler eventFunction = nullptr);
  ~CTCPSerialPort() override;

  BOOL Open(const char* name) override;
  // Returns IsOpen() afterwards, so FALSE once the socket is gone.
  BOOL Close() override;
  BOOL Write(std::unique_ptr<CByteArray>& data) override;
  BOOL SendBreak(DWORD milliseconds) override;

  State GetState() const { return static_cast<State>(m_state.load()); }
  const std::string& Host() const { return m_host; }
  WORD Port() const { return m_port; }

 private:
  void ReceiveThread() override;
  // Replaces the lost socket with a new connection; FALSE when it failed.
  bool Reconnect();
  bool SendAll(const BYTE* data, std::size_t count);

  std::string m_host;
  WORD m_port = 0;
  std::atomic<int> m_state{kClosed};
};
