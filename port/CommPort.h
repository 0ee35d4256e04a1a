// One serial device for a port that does its own waiting: the device is kept
// in a never-blocking mode (reads return what is buffered, writes give up
// after 1 ms), and the owner's thread waits on PollFd() for readiness.
#pragma once
#include <memory>
#include <mutex>

#include "afx/SerialDevice.h"
#include "afx/WinTypes.h"

class CCommPort {
 public:
  CCommPort() = default;
  virtual ~CCommPort();
  CCommPort(const CCommPort&) = delete;
  CCommPort& operator=(const CCommPort&) = delete;

  // Opens the device behind `name` exclusively; FALSE when already open or unreachable.
  virtual BOOL Open(const char* name);
  // Purges both directions and closes the device; FALSE when it was not open.
  virtual BOOL Close();

  // "COMn" goes through the Windows-style device namespace; anything else
  // (a device path, a provider name such as "sim:...") is used as it is.
  static std::string DevicePathFor(const char* name);

 protected:
  bool DeviceOpen() const;
  // Both are called with m_deviceLock held.
  // The descriptor to poll for input, or -1.
  int DevicePollFd() const;

  // Every device call goes through the lock: the receive thread reads and
  // writes while callers configure, purge and break.
  std::mutex m_deviceLock;
  std::unique_ptr<afx::SerialDevice> m_device;
};
