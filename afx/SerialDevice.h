// A serial device as the port layer sees it: exclusive open by path, line
// settings, COMMTIMEOUTS-style time-outs, read, write, purge, break.
//
// Backends supply the primitives (the protected hooks); the read loop with
// the time-out semantics lives here once, so that a real port and the
// virtual receiver's line honour exactly the same rules.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "afx/WinTypes.h"

namespace afx {

struct LineSettings {
  DWORD baudRate = 9600;
  BYTE byteSize = 8;       // 5..8
  BYTE parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  BYTE stopBits = 0;       // 0 one, 1 one and a half, 2 two
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  BYTE dtrControl = 0;     // 0 disable, 1 enable, 2 handshake
  BYTE rtsControl = 0;     // 0 disable, 1 enable, 2 handshake, 3 toggle
  bool outX = false;       // XON/XOFF on output
  bool inX = false;        // XON/XOFF on input
  char xonChar = 0x11;
  char xoffChar = 0x13;
  WORD xonLim = 0;
  WORD xoffLim = 0;

  bool operator==(const LineSettings&) const = default;
  // True when two ends with these settings understand each other's bytes.
  bool FramingMatches(const LineSettings& other) const {
    return baudRate == other.baudRate && byteSize == other.byteSize && parity == other.parity &&
           stopBits == other.stopBits;
  }
};

constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// The Win32 COMMTIMEOUTS, with their meaning:
// - interval MAXDWORD, both read totals 0: return at once with what is buffered.
// - interval MAXDWORD, multiplier MAXDWORD, 0 < constant < MAXDWORD: return at once
//   with what is buffered; if nothing is, wait up to `constant` ms for the first
//   byte and return as soon as one arrives.
// - otherwise: the read ends after multiplier * count + constant ms in total (0 = no
//   total limit), or when more than `interval` ms pass between two bytes (0 = unused).
// Writes end after writeMultiplier * count + writeConstant ms (0 = no limit).
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;

// Line errors reported by ClearError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // The path the device was opened with.
  virtual std::string Path() const = 0;
  // Applies line settings; false (with LastError) when the device refuses them.
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  // Reads back the settings in force.
  virtual bool GetLineSettings(LineSettings* settings) = 0;
  // Whether the device can run at `baud`.
  virtual bool IsSpeedSupported(DWORD baud) = 0;
  // Discards pending output (TX flags) and/or buffered input (RX flags).
  virtual bool Purge(DWORD flags) = 0;
  // Raises (true) or clears (false) a break condition on the line.
  virtual bool SetBreak(bool on) = 0;
  // Sets or clears DTR/RTS (SETDTR, CLRDTR, SETRTS, CLRRTS).
  virtual bool EscapeFunction(DWORD function) = 0;
  // Returns and clears the accumulated line errors (CE_* bits).
  virtual bool ClearError(DWORD* errors) = 0;
  // Writes all bytes within the write time-out; *written tells how many went.
  virtual bool Write(const void* data, DWORD count, DWORD* written) = 0;
  // Closes the device; later calls fail. Safe to call twice.
  virtual void Close() = 0;
  // The Win32-style error code of the last failure.
  DWORD LastError() const { return lastError_; }
  // A descriptor that poll() reports readable when input may be waiting, for
  // callers that wait on the device together with their own events; -1 when
  // the device has none (they then have to look again from time to time).
  virtual int PollFd() const { return -1; }
  // The caller needs `bytes` more bytes before it acts on any: a device that
  // is woken once per arriving piece may wait for the rest in one go, paced
  // by the line speed, before it reports input. A hint; no read waits longer
  // than its time-out allows.
  virtual void ExpectInput(DWORD /*bytes*/) {}
  // Input the device already holds in its own buffer, which ReadAvailable
  // hands over without asking the system: a read of no more than that has
  // nothing to wait for.
  virtual DWORD Held() const { return 0; }

  bool SetTimeouts(const COMMTIMEOUTS& timeouts) { timeouts_ = timeouts; return true; }
  bool GetTimeouts(COMMTIMEOUTS* timeouts) const { *timeouts = timeouts_; return true; }
  // Reads up to `count` bytes under the time-out rules above. A read that may
  // wait starts with the wait (a device returns from it at once when input is
  // there): what a caller reads is mostly a reply still on its way.
  bool Read(void* buffer, DWORD count, DWORD* got);
  // The next Read takes no input before `clockNs` (afx::GetClock() time) and
  // its time-outs run from then, as if the caller slept until then and read;
  // but it wakes once, for the input or at that time, whichever is later.
  void DeferInput(std::int64_t clockNs) { deferUntilNs_ = clockNs; }

 protected:
  // Moves whatever the device holds now (up to `max`) into `buffer`; never waits.
  // Returns false on a device error.
  virtual bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) = 0;
  // Waits until input may be available or the clock reaches `deadlineNs`
  // (afx::GetClock() time). Returns false on a device error.
  virtual bool WaitReadable(std::int64_t deadlineNs) = 0;

  void SetLastError(DWORD error) { lastError_ = error; }
  const COMMTIMEOUTS& Timeouts() const { return timeouts_; }

  // Decorators (traffic taps) forward to the primitives of the device they wrap.
  static bool ReadAvailableOf(SerialDevice& device, std::uint8_t* buffer, DWORD max, DWORD* got) {
    return device.ReadAvailable(buffer, max, got);
  }
  static bool WaitReadableOf(SerialDevice& device, std::int64_t deadlineNs) { return device.WaitReadable(deadlineNs); }

 private:
  COMMTIMEOUTS timeouts_{};
  DWORD lastError_ = 0;
  std::int64_t deferUntilNs_ = INT64_MIN;
};

// Opens the device at `path` or reports a Win32-style error
// (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED for a port in use, ...).
using SerialDeviceOpener = std::function<std::unique_ptr<SerialDevice>(const std::string& path, DWORD* error)>;

// Devices whose path starts with `prefix` (for example "sim:") are opened by
// `opener` instead of the operating system.
void RegisterSerialDeviceProvider(const std::string& prefix, SerialDeviceOpener opener);
void UnregisterSerialDeviceProvider(const std::string& prefix);

// Wraps every device that OpenSerialDevice returns (traffic taps); nullptr removes.
using SerialDeviceWrapper = std::function<std::unique_ptr<SerialDevice>(std::unique_ptr<SerialDevice>)>;
void SetSerialDeviceWrapper(SerialDeviceWrapper wrapper);

// Maps a Windows device name to the device path behind it: "\\.\COMn" and
// "COMn" go through HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (value
// name = device path, data = "COMn"); a COM number without an entry, or
// whose entry names a kernel device ("\Device\Serial0", as Windows maps its
// own ports), is the system's own (SystemComPortPath). Any other name is
// returned as it is.
std::string ResolveSerialDeviceName(const std::string& name);

// Opens `name` (resolved as above) exclusively. nullptr with *error set on failure.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name, DWORD* error);

// The operating system's backend (termios, or the Windows serial driver);
// chosen at build time.
std::unique_ptr<SerialDevice> OpenSystemSerialDevice(const std::string& path, DWORD* error);
// The system's own device for COM `number` when SERIALCOMM maps none:
// /dev/ttyS(n-1), or "\\.\COMn" on Windows.
std::string SystemComPortPath(int number);

// Why the system last refused to open a device path, so that a host can say
// what to do about it. The Win32 codes fold several causes into one.
struct SerialOpenFailure {
  std::string path;  // as opened (a symbolic link stays as it was named)
  int err = 0;       // errno; EWOULDBLOCK when another program holds the device's lock
};
// The last failure for `path` (resolved like OpenSerialDevice), or err 0 when
// its last open succeeded or it was never tried. Remembers a few paths only.
SerialOpenFailure LastSerialOpenFailure(const std::string& name);
void RecordSerialOpenFailure(const std::string& path, int err);

// The COM numbers mapped in SERIALCOMM, with their device paths.
std::vector<std::pair<int, std::string>> ListMappedComPorts();
// Maps `path` to a COM number in SERIALCOMM: its existing number, or the
// lowest free one from `first`. Returns 0 when the registry cannot be written.
int MapDevicePathToComPort(const std::string& path, int first = 1);

}  // namespace afx
