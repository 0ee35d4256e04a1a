// A serial device of the Windows serial driver, opened for overlapped I/O,
// with the calls the serial backend makes. Standard types only, so that the
// backend, written against the framework's own Windows-style types, can hold
// one; CommDevice.cpp makes the system calls.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace afx::win {

// The line settings as a device control block holds them (DCB numbering).
struct CommLine {
  std::uint32_t baudRate = 9600;
  std::uint8_t byteSize = 8;
  std::uint8_t parity = 0;
  std::uint8_t stopBits = 0;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  std::uint8_t dtrControl = 0;
  std::uint8_t rtsControl = 0;
  bool outX = false;
  bool inX = false;
  char xonChar = 0x11;
  char xoffChar = 0x13;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
};

class CommDevice {
 public:
  // Opens `path` ("\\.\COM3") exclusively for overlapped I/O, reads that
  // return at once with what the driver holds, and line errors reported;
  // nullptr with *error (a Win32 code) on failure.
  static std::unique_ptr<CommDevice> Open(const std::string& path, std::uint32_t* error);
  ~CommDevice();
  CommDevice(const CommDevice&) = delete;
  CommDevice& operator=(const CommDevice&) = delete;

  // SetCommState / GetCommState.
  bool SetLine(const CommLine& line);
  bool GetLine(CommLine* line);
  // Whether GetCommProperties says the port can run at `baud`.
  bool SupportsSpeed(std::uint32_t baud);
  // PurgeComm with PURGE_* flags.
  bool Purge(std::uint32_t flags);
  // SetCommBreak / ClearCommBreak.
  bool Break(bool on);
  // EscapeCommFunction (SETDTR, CLRDTR, SETRTS, CLRRTS).
  bool Escape(std::uint32_t function);
  // ClearCommError: the line errors (CE_* bits) and the bytes waiting.
  bool ClearErrors(std::uint32_t* errors, std::uint32_t* waiting);
  // Reads what the driver holds now, up to `max` bytes; never waits.
  bool ReadNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t* got);
  // Waits up to `ms` for input (a comm event for a received byte); true on
  // input and on time-out alike, false on a device error.
  bool WaitInput(std::uint32_t ms);
  // Writes `count` bytes, waiting up to `ms` (0xFFFFFFFF: no limit) for the
  // driver to take them; what is left then is cancelled, *written tells how
  // many went.
  bool Write(const void* data, std::uint32_t count, std::uint32_t ms, std::uint32_t* written);
  // Closes the handle; safe to call twice.
  void Close();
  // The Win32 code of the last failure.
  std::uint32_t LastError() const { return lastError_; }

 private:
  struct Handles;
  explicit CommDevice(std::unique_ptr<Handles> handles);
  bool Fail();

  std::unique_ptr<Handles> handles_;
  std::uint32_t lastError_ = 0;
};

}  // namespace afx::win
