// One byte-stream interface over a serial port, a TCP connection or a UDP
// link. Incoming bytes are pushed to a receive handler on the port's own
// thread; outgoing bytes are handed over as owned byte arrays.
#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "afx/String.h"
#include "afx/WinTypes.h"
#include "port/PortSettings.h"

using CByteArray = std::vector<BYTE>;

// Receives (context, bytes, count). The bytes are valid only during the call.
using PortHandler = void (*)(void* context, const BYTE* data, DWORD count);

class CSerialPortInterface {
 public:
  virtual ~CSerialPortInterface() = default;
  CSerialPortInterface(const CSerialPortInterface&) = delete;
  CSerialPortInterface& operator=(const CSerialPortInterface&) = delete;

  // Opens the port by name; FALSE when already open or the port cannot be reached.
  virtual BOOL Open(const char* name) = 0;
  // TRUE while the port is open.
  virtual BOOL IsOpen() = 0;
  // Applies the settings; FALSE when the port is closed or refused any of them.
  virtual BOOL Configure(const PortSettings& settings) = 0;
  // Closes the port and stops its thread; FALSE when it was not open.
  virtual BOOL Close() = 0;
  // Starts the receive thread once and waits (bounded) until it runs.
  virtual BOOL Start() = 0;
  // Drops every queued array, then purges the device with PURGE_* flags.
  virtual BOOL Purge(DWORD flags) = 0;
  // Queues `data` at the tail and takes it (the caller's pointer becomes null).
  virtual BOOL Write(std::unique_ptr<CByteArray>& data) = 0;
  // Queues `data` to go out next and takes it.
  virtual BOOL WriteFirst(std::unique_ptr<CByteArray>& data) = 0;
  // Replaces the receive handler.
  virtual void SetReceiveHandler(void* context, PortHandler function) = 0;
  // Replaces the event handler (kept for the link library; no port calls it).
  virtual void SetEventHandler(void* context, PortHandler function) = 0;
  // Signals a break to the other end.
  virtual BOOL SendBreak(DWORD milliseconds) = 0;

  const PortSettings& Settings() const { return m_settings; }
  const CString& Name() const { return m_name; }

 protected:
  CSerialPortInterface(void* receiveContext, PortHandler receiveFunction, void* eventContext,
                       PortHandler eventFunction)
      : m_receiveContext(receiveContext),
        m_receiveFunction(receiveFunction),
        m_eventContext(eventContext),
        m_eventFunction(eventFunction) {}

  void StoreReceiveHandler(void* context, PortHandler function) {
    std::lock_guard<std::mutex> lock(m_handlerLock);
    m_receiveContext = context;
    m_receiveFunction = function;
  }
  void StoreEventHandler(void* context, PortHandler function) {
    std::lock_guard<std::mutex> lock(m_handlerLock);
    m_eventContext = context;
    m_eventFunction = function;
  }
  // Calls the receive handler on the calling (receive) thread. The handler is
  // copied first so that it may be replaced, or log, while it runs.
  void DeliverReceived(const BYTE* data, DWORD count) {
    void* context = nullptr;
    PortHandler function = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_handlerLock);
      context = m_receiveContext;
      function = m_receiveFunction;
    }
    if (function) function(context, data, count);
  }

  PortSettings m_settings;
  CString m_name;

 private:
  std::mutex m_handlerLock;
  void* m_receiveContext;
  PortHandler m_receiveFunction;
  void* m_eventContext;
  PortHandler m_eventFunction;
};
