#include "port/CommPort.h"

#include <cctype>

#include "afx/Trace.h"

namespace {
// Reads return at once with what is buffered; a write ends after 1 ms of a
// full output queue and tells how much went, so the thread never blocks.
constexpr afx::COMMTIMEOUTS kNeverBlock{afx::MAXDWORD, 0, 0, 0, 1};
}  // namespace

CCommPort::~CCommPort() {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  if (m_device) m_device->Close();
}

std::string CCommPort::DevicePathFor(const char* name) {
  const std::string n = name ? name : "";
  const bool comName = n.size() > 3 && std::toupper(static_cast<unsigned char>(n[0])) == 'C' &&
                       std::toupper(static_cast<unsigned char>(n[1])) == 'O' &&
                       std::toupper(static_cast<unsigned char>(n[2])) == 'M' &&
                       std::isdigit(static_cast<unsigned char>(n[3]));
  // The namespace prefix also reaches ports numbered above 9.
  return comName ? "\\\\.\\" + n : n;
}

BOOL CCommPort::Open(const char* name) {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  if (m_device) return FALSE;
  DWORD error = 0;
  m_device = afx::OpenSerialDevice(DevicePathFor(name), &error);
  if (!m_device) {
    TRACE("comm port %s: open failed, error %u", name ? name : "", error);
    return FALSE;
  }
  m_device->SetTimeouts(kNeverBlock);
  return TRUE;
}

BOOL CCommPort::Close() {
  std::lock_guard<std::mutex> lock(m_deviceLock);
  if (!m_device) return FALSE;
  m_device->Purge(afx::PURGE_TXABORT | afx::PURGE_RXABORT | afx::PURGE_TXCLEAR | afx::PURGE_RXCLEAR);
  m_device->Close();
  m_device.reset();
  return TRUE;
}

bool CCommPort::DeviceOpen() const { return m_device != nullptr; }

int CCommPort::DevicePollFd() const { return m_device ? m_device->PollFd() : -1; }
