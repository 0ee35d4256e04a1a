// The Windows serial driver's backend: "\\.\COMn" opened for overlapped I/O.
// The driver's own time-outs return every read at once; the framework's read
// loop waits for input with a comm event and keeps the COMMTIMEOUTS rules.
#include <algorithm>
#include <cerrno>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "afx/Trace.h"
#include "afx/win/CommDevice.h"
#include "afx/win/WinCalls.h"

namespace afx {

namespace {

win::CommLine ToComm(const LineSettings& s) {
  win::CommLine c;
  c.baudRate = s.baudRate;
  c.byteSize = s.byteSize;
  c.parity = s.parity;
  c.stopBits = s.stopBits;
  c.outxCtsFlow = s.outxCtsFlow;
  c.outxDsrFlow = s.outxDsrFlow;
  c.dtrControl = s.dtrControl;
  c.rtsControl = s.rtsControl;
  c.outX = s.outX;
  c.inX = s.inX;
  c.xonChar = s.xonChar;
  c.xoffChar = s.xoffChar;
  c.xonLim = s.xonLim;
  c.xoffLim = s.xoffLim;
  return c;
}

LineSettings FromComm(const win::CommLine& c) {
  LineSettings s;
  s.baudRate = c.baudRate;
  s.byteSize = c.byteSize;
  s.parity = c.parity;
  s.stopBits = c.stopBits;
  s.outxCtsFlow = c.outxCtsFlow;
  s.outxDsrFlow = c.outxDsrFlow;
  s.dtrControl = c.dtrControl;
  s.rtsControl = c.rtsControl;
  s.outX = c.outX;
  s.inX = c.inX;
  s.xonChar = c.xonChar;
  s.xoffChar = c.xoffChar;
  s.xonLim = c.xonLim;
  s.xoffLim = c.xoffLim;
  return s;
}

// Why an open failed, as the host's hints name it: a COM port that another
// program holds is refused with "access denied".
int OpenFailureCause(std::uint32_t error) {
  return error == static_cast<std::uint32_t>(ERROR_ACCESS_DENIED) ? EWOULDBLOCK : win::ErrnoFromWin32(error);
}

class WinSerialDevice : public SerialDevice {
 public:
  WinSerialDevice(std::unique_ptr<win::CommDevice> device, std::string path)
      : device_(std::move(device)), path_(std::move(path)) {}
  ~WinSerialDevice() override { Close(); }

  std::string Path() const override { return path_; }

  bool SetLineSettings(const LineSettings& s) override { return Check(open_ && device_->SetLine(ToComm(s)), "SetCommState"); }

  bool GetLineSettings(LineSettings* s) override {
    win::CommLine c;
    if (!Check(open_ && device_->GetLine(&c), "GetCommState")) return false;
    *s = FromComm(c);
    return true;
  }

  bool IsSpeedSupported(DWORD baud) override { return open_ && device_->SupportsSpeed(baud); }

  bool Purge(DWORD flags) override { return Check(open_ && device_->Purge(flags), "PurgeComm"); }

  bool SetBreak(bool on) override { return Check(open_ && device_->Break(on), on ? "SetCommBreak" : "ClearCommBreak"); }

  bool EscapeFunction(DWORD function) override {
    return Check(open_ && device_->Escape(function), "EscapeCommFunction");
  }

  bool ClearError(DWORD* errors) override {
    std::uint32_t e = 0;
    if (!Check(open_ && device_->ClearErrors(&e, nullptr), "ClearCommError")) return false;
    if (errors) *errors = e;
    return true;
  }

  bool Write(const void* data, DWORD count, DWORD* written) override {
    *written = 0;
    if (!open_) return Check(false, "write");
    const COMMTIMEOUTS& t = Timeouts();
    const std::uint64_t limitMs = static_cast<std::uint64_t>(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
    const std::uint32_t ms = limitMs == 0 ? MAXDWORD : static_cast<std::uint32_t>(std::min<std::uint64_t>(limitMs, MAXDWORD - 1));
    std::uint32_t n = 0;
    const bool ok = device_->Write(data, count, ms, &n);
    *written = n;
    if (ok && n < count) SetLastError(ERROR_TIMEOUT);  // a short count tells the caller
    return Check(ok, "WriteFile");
  }

  void Close() override {
    if (!open_) return;
    open_ = false;
    device_->Close();
  }

 protected:
  bool ReadAvailable(std::uint8_t* out, DWORD max, DWORD* got) override {
    *got = 0;
    std::uint32_t n = 0;
    if (!Check(open_ && device_->ReadNow(out, max, &n), "ReadFile")) return false;
    *got = n;
    return true;
  }

  bool WaitReadable(std::int64_t deadlineNs) override {
    if (!open_) return Check(false, "wait");
    const std::int64_t now = GetClock().NowNs();
    if (deadlineNs <= now) return true;
    const std::int64_t ms = std::min<std::int64_t>((deadlineNs - now + 999'999) / 1'000'000, 60'000);
    return Check(device_->WaitInput(static_cast<std::uint32_t>(ms)), "WaitCommEvent");
  }

 private:
  bool Check(bool ok, const char* what) {
    if (ok) return true;
    const DWORD error = open_ ? device_->LastError() : static_cast<DWORD>(ERROR_INVALID_HANDLE);
    AfxTrace("serial %s: %s failed: error %u", path_.c_str(), what, error);
    SetLastError(error);
    return false;
  }

  std::unique_ptr<win::CommDevice> device_;
  std::string path_;
  bool open_ = true;
};

}  // namespace

std::string SystemComPortPath(int number) { return "\\\\.\\COM" + std::to_string(number); }

std::unique_ptr<SerialDevice> OpenSystemSerialDevice(const std::string& path, DWORD* error) {
  std::uint32_t code = 0;
  std::unique_ptr<win::CommDevice> device = win::CommDevice::Open(path, &code);
  if (!device) {
    AfxTrace("serial %s: open failed: error %u", path.c_str(), code);
    RecordSerialOpenFailure(path, OpenFailureCause(code));
    *error = code;
    return nullptr;
  }
  RecordSerialOpenFailure(path, 0);
  *error = 0;
  return std::make_unique<WinSerialDevice>(std::move(device), path);
}

}  // namespace afx
