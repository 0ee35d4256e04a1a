#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "afx/win/CommDevice.h"

namespace afx::win {

struct CommDevice::Handles {
  HANDLE device = INVALID_HANDLE_VALUE;
  OVERLAPPED read{};
  OVERLAPPED write{};
  OVERLAPPED wait{};
  DWORD waitMask = 0;
  bool waitPending = false;  // a WaitCommEvent is outstanding on `wait`

  ~Handles() {
    for (OVERLAPPED* o : {&read, &write, &wait})
      if (o->hEvent) ::CloseHandle(o->hEvent);
  }
};

std::unique_ptr<CommDevice> CommDevice::Open(const std::string& path, std::uint32_t* error) {
  auto handles = std::make_unique<Handles>();
  handles->device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
  if (handles->device == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return nullptr;
  }
  std::unique_ptr<CommDevice> device(new CommDevice(std::move(handles)));
  Handles& h = *device->handles_;
  for (OVERLAPPED* o : {&h.read, &h.write, &h.wait}) o->hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Reads return at once with what the driver holds: the framework's read
  // loop keeps the time-outs, the same on every system.
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
  if (!h.read.hEvent || !h.write.hEvent || !h.wait.hEvent || !::SetCommTimeouts(h.device, &immediate) ||
      !::SetCommMask(h.device, EV_RXCHAR | EV_ERR)) {
    *error = ::GetLastError();
    return nullptr;
  }
  *error = 0;
  return device;
}

CommDevice::CommDevice(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

CommDevice::~CommDevice() { Close(); }

bool CommDevice::Fail() {
  lastError_ = ::GetLastError();
  if (lastError_ == 0) lastError_ = ERROR_GEN_FAILURE;
  return false;
}

bool CommDevice::SetLine(const CommLine& line) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handles_->device, &dcb)) return Fail();
  dcb.BaudRate = line.baudRate;
  dcb.ByteSize = line.byteSize;
  dcb.Parity = line.parity;
  dcb.StopBits = line.stopBits;
  dcb.fBinary = TRUE;
  dcb.fParity = line.parity != 0;
  dcb.fOutxCtsFlow = line.outxCtsFlow;
  dcb.fOutxDsrFlow = line.outxDsrFlow;
  dcb.fDtrControl = line.dtrControl;
  dcb.fRtsControl = line.rtsControl;
  dcb.fOutX = line.outX;
  dcb.fInX = line.inX;
  dcb.XonChar = line.xonChar;
  dcb.XoffChar = line.xoffChar;
  dcb.XonLim = line.xonLim;
  dcb.XoffLim = line.xoffLim;
  dcb.fDsrSensitivity = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  return ::SetCommState(handles_->device, &dcb) ? true : Fail();
}

bool CommDevice::GetLine(CommLine* line) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handles_->device, &dcb)) return Fail();
  line->baudRate = dcb.BaudRate;
  line->byteSize = dcb.ByteSize;
  line->parity = dcb.Parity;
  line->stopBits = dcb.StopBits;
  line->outxCtsFlow = dcb.fOutxCtsFlow;
  line->outxDsrFlow = dcb.fOutxDsrFlow;
  line->dtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
  line->rtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
  line->outX = dcb.fOutX;
  line->inX = dcb.fInX;
  line->xonChar = dcb.XonChar;
  line->xoffChar = dcb.XoffChar;
  line->xonLim = dcb.XonLim;
  line->xoffLim = dcb.XoffLim;
  return true;
}

bool CommDevice::SupportsSpeed(std::uint32_t baud) {
  COMMPROP properties{};
  if (!::GetCommProperties(handles_->device, &properties)) return Fail();
  static const struct {
    std::uint32_t rate;
    DWORD bit;
  } kRates[] = {{110, BAUD_110},     {300, BAUD_300},     {600, BAUD_600},       {1200, BAUD_1200},
                {2400, BAUD_2400},   {4800, BAUD_4800},   {9600, BAUD_9600},     {14400, BAUD_14400},
                {19200, BAUD_19200}, {38400, BAUD_38400}, {56000, BAUD_56K},     {57600, BAUD_57600},
                {115200, BAUD_115200}, {128000, BAUD_128K}};
  for (const auto& r : kRates)
    if (r.rate == baud && (properties.dwSettableBaud & r.bit)) return true;
  // Any other rate needs a port whose rate is programmable.
  return (properties.dwSettableBaud & BAUD_USER) != 0;
}

bool CommDevice::Purge(std::uint32_t flags) { return ::PurgeComm(handles_->device, flags) ? true : Fail(); }

bool CommDevice::Break(bool on) {
  return (on ? ::SetCommBreak(handles_->device) : ::ClearCommBreak(handles_->device)) ? true : Fail();
}

bool CommDevice::Escape(std::uint32_t function) {
  return ::EscapeCommFunction(handles_->device, function) ? true : Fail();
}

bool CommDevice::ClearErrors(std::uint32_t* errors, std::uint32_t* waiting) {
  DWORD e = 0;
  COMSTAT status{};
  if (!::ClearCommError(handles_->device, &e, &status)) return Fail();
  if (errors) *errors = e;
  if (waiting) *waiting = status.cbInQue;
  return true;
}

bool CommDevice::ReadNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t* got) {
  *got = 0;
  std::uint32_t waiting = 0;
  if (!ClearErrors(nullptr, &waiting)) return false;
  const DWORD want = waiting < max ? waiting : max;
  if (want == 0) return true;
  Handles& h = *handles_;
  ::ResetEvent(h.read.hEvent);
  DWORD n = 0;
  if (!::ReadFile(h.device, buffer, want, &n, &h.read)) {
    if (::GetLastError() != ERROR_IO_PENDING) return Fail();
    // The immediate time-outs end the read as soon as the driver has given what it holds.
    if (!::GetOverlappedResult(h.device, &h.read, &n, TRUE)) return Fail();
  }
  *got = n;
  return true;
}

bool CommDevice::WaitInput(std::uint32_t ms) {
  Handles& h = *handles_;
  if (!h.waitPending) {
    ::ResetEvent(h.wait.hEvent);
    h.waitMask = 0;
    if (::WaitCommEvent(h.device, &h.waitMask, &h.wait)) return true;
    if (::GetLastError() != ERROR_IO_PENDING) return Fail();
    h.waitPending = true;
  }
  // A byte that came between the caller's last look and the wait started
  // raises no event: look once more.
  std::uint32_t waiting = 0;
  if (!ClearErrors(nullptr, &waiting)) return false;
  if (waiting > 0) return true;
  const DWORD rc = ::WaitForSingleObject(h.wait.hEvent, ms);
  if (rc == WAIT_TIMEOUT) return true;
  if (rc != WAIT_OBJECT_0) return Fail();
  DWORD ignored = 0;
  h.waitPending = false;
  // Wine ends a pending wait when a read takes the bytes; the caller looks
  // again. Its event may come before its status, so this waits for the
  // status (the event is set: it does not block).
  return ::GetOverlappedResult(h.device, &h.wait, &ignored, TRUE) || ::GetLastError() == ERROR_OPERATION_ABORTED
             ? true
             : Fail();
}

bool CommDevice::Write(const void* data, std::uint32_t count, std::uint32_t ms, std::uint32_t* written) {
  *written = 0;
  Handles& h = *handles_;
  ::ResetEvent(h.write.hEvent);
  DWORD n = 0;
  if (::WriteFile(h.device, data, count, &n, &h.write)) {
    *written = n;
    return true;
  }
  if (::GetLastError() != ERROR_IO_PENDING) return Fail();
  if (::WaitForSingleObject(h.write.hEvent, ms) == WAIT_TIMEOUT) {
    // Out of time: what the driver has not taken yet stays behind.
    ::CancelIoEx(h.device, &h.write);
    lastError_ = ERROR_TIMEOUT;
  }
  const bool ok = ::GetOverlappedResult(h.device, &h.write, &n, TRUE) || ::GetLastError() == ERROR_OPERATION_ABORTED;
  *written = n;
  return ok ? true : Fail();
}

void CommDevice::Close() {
  Handles& h = *handles_;
  if (h.device == INVALID_HANDLE_VALUE) return;
  // Ends an outstanding comm-event wait before the handle goes.
  ::SetCommMask(h.device, 0);
  ::CancelIo(h.device);
  if (h.waitPending) {
    DWORD ignored = 0;
    ::GetOverlappedResult(h.device, &h.wait, &ignored, TRUE);
    h.waitPending = false;
  }
  ::CloseHandle(h.device);
  h.device = INVALID_HANDLE_VALUE;
}

}  // namespace afx::win
