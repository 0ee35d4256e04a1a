// The blocking serial port every operation opens on the host's COM port.
// It runs over an afx::SerialDevice, so a real port, a pseudo-terminal or the
// virtual receiver's line behave alike.
#pragma once
#include <memory>
#include <vector>

#include "afx/SerialDevice.h"
#include "afx/String.h"
#include "port/SerialComException.h"
#include "port/ioInterface.h"

class CSerialInterface : public CioInterface {
 public:
  static constexpr int kBaudCount = 17;
  static constexpr int kDefaultBaudIndex = 6;  // 9600
  // A SetTimeouts argument that keeps the current value.
  static constexpr DWORD kKeepTimeout = 0x7FFFFFFF;
  // How long a read waits for its first byte, and the constant part of the write allowance.
  static constexpr DWORD kReadTimeoutMs = 2000;
  static constexpr DWORD kWriteTimeoutMs = 2000;

  explicit CSerialInterface(CLogNode* log = nullptr);
  ~CSerialInterface() override;

  // Opens "\\.\COM<port>" exclusively with the given table indices. Throws
  // CSerialComException 301 (open, settings, time-outs) or 302 (flow control);
  // the interface is closed after a failure.
  void Open(UINT port, int dataBitsIndex, int stopBitsIndex, int parityIndex, int baudIndex);
  // The same set-up over a device opened elsewhere (the virtual receiver's
  // line, a test double); `port` is the COM number that messages name.
  void Attach(std::unique_ptr<afx::SerialDevice> device, UINT port, int dataBitsIndex, int stopBitsIndex,
              int parityIndex, int baudIndex);
  // Purges and closes the device. Safe to call twice.
  void Close();

  void WriteByte(BYTE value) override;
  void Write(const BYTE* buffer, DWORD count) override;
  void WriteFrame(std::initializer_list<Piece> pieces) override;
  bool ReadByte(BYTE* value) override;
  DWORD Read(BYTE* buffer, DWORD count) override;
  void FlushOutput() override;
  void FlushInput() override;
  void Purge(bool output, bool input) override;
  void ExpectInput(DWORD bytes) override {
    if (m_device) m_device->ExpectInput(bytes);
  }
  UINT GetPortNumber() const override { return m_nPort; }
  // The wait of `ms` that a protocol prescribes between a request and reading
  // its reply: the next read takes no input before it ends and its time-outs
  // run from then, as after Sleep(ms), but it wakes only once, when the reply
  // is there (nothing is sent meanwhile either way).
  void WaitBeforeNextRead(DWORD ms);

  // Discards what has arrived and whatever goes on arriving until the line
  // has been quiet for kQuietMs (for at most kStaleLimitMs), then purges the
  // receive side. Nothing is sent. A reply that came late or twice is then
  // not taken for the answer to the next request.
  static constexpr DWORD kQuietMs = 50;
  static constexpr DWORD kStaleLimitMs = 1000;
  void DiscardStaleInput();
  // Replaces the read and write total-time constants (kKeepTimeout keeps one),
  // then purges. Throws 301 and closes on failure.
  void SetTimeouts(DWORD readMs, DWORD writeMs);
  // Line setters: each throws 302 and closes on failure or on an index
  // outside its table.
  void SetBaudIndex(int index);
  void SetBaudRate(DWORD rate);
  void SetParity(int index);
  void SetDataBits(int index);
  void SetStopBits(int index);
  // Bit 0: DSR/DTR handshake; bit 1: CTS/RTS handshake; bit 2: XON/XOFF both ways.
  void SetFlowControl(BYTE flags);
  // Holds a break on the line for `ms`, with `ms` of quiet before and after.
  // Failures are ignored: a port that cannot break just stays quiet.
  void SendBreak(DWORD ms);

  bool IsOpen() const { return m_bOpen != 0; }
  DWORD GetBaudRate() const { return m_nBaudRate; }
  DWORD GetHighestBaudRate() const { return m_nHighestBaudRate; }
  BYTE GetDataBits() const { return m_nDataBits; }
  BYTE GetParity() const { return m_nParity; }
  BYTE GetStopBits() const { return m_nStopBits; }
  BYTE GetFlowControl() const { return m_nFlowControl; }
  const CString& GetDevicePath() const { return m_strDevicePath; }
  // "COM<n>" for display.
  CString GetDeviceName() const;
  // The time-outs in force; false when closed.
  bool GetTimeouts(afx::COMMTIMEOUTS* timeouts) const;

  // Table look-ups; false for an index outside the table.
  static bool BaudRateFromIndex(int index, DWORD* rate);
  static bool DataBitsFromIndex(int index, BYTE* bits);
  static bool ParityFromIndex(int index, BYTE* parity);
  static bool StopBitsFromIndex(int index, BYTE* stopBits);

 private:
  void SetUp(UINT port, int dataBitsIndex, int stopBitsIndex, int parityIndex, int baudIndex);
  // Closes and throws `code` for COM `port` with the device's last error (or `fallback`).
  [[noreturn]] void Fail(DWORD code, UINT port, DWORD fallback = ERROR_INVALID_HANDLE);
  DWORD DeviceError(DWORD fallback) const;
  template <typename Change>
  void ChangeLineSettings(Change change);

  std::unique_ptr<afx::SerialDevice> m_device;
  // One frame's bytes, kept between writes: a transfer writes a frame a block.
  std::vector<BYTE> m_frame;
  UINT m_nPort = 0;
  BYTE m_bOpen = 0;
  CString m_strDevicePath;
  DWORD m_nBaudRate = 9600;
  DWORD m_nHighestBaudRate = 115200;
  BYTE m_nDataBits = 8;
  BYTE m_nParity = 0;
  BYTE m_nStopBits = 0;
  BYTE m_nFlowControl = 0;
};
