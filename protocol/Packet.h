// One request/reply exchange with the receiver, over a CioInterface. The data
// array holds the request until a reply is received into the same object,
// and the reply afterwards.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "afx/WinTypes.h"
#include "port/ioInterface.h"

class CPacket {
 public:
  using ByteArray = std::vector<BYTE>;

  explicit CPacket(BYTE command = 0) : m_nCommand(command) {}
  virtual ~CPacket() = default;
  CPacket(const CPacket&) = default;
  CPacket& operator=(const CPacket&) = default;

  // Sends the request frame; false when the port failed (already shown to the user).
  virtual bool SendPacket(CioInterface& port) = 0;
  // Waits up to `timeout` seconds per attempt for the reply frame.
  virtual bool ReceivePacket(CioInterface& port, double timeout) = 0;

  // Appends the low 16 bits' worth of `count` bytes from `source`.
  void AppendData(const BYTE* source, UINT count);
  void AppendByte(BYTE value);
  void AppendWord(WORD value);    // most significant byte first
  void AppendDWord(DWORD value);  // most significant byte first
  void SetData(const ByteArray& data) { m_data = data; }
  void SetData(const BYTE* source, UINT count);
  void ClearData() { m_data.clear(); }

  const ByteArray& GetData() const { return m_data; }
  const BYTE* GetDataPtr() const { return m_data.data(); }
  UINT GetDataSize() const { return static_cast<UINT>(m_data.size()); }
  BYTE GetCommand() const { return m_nCommand; }
  void SetCommand(BYTE command) { m_nCommand = command; }
  int GetLastError() const { return m_nLastError; }
  // The sum of `n` bytes (frames carry its low 8 or 16 bits as their checksum).
  static std::uint32_t SumOfBytes(const BYTE* data, size_t n);

 protected:
  // Resizes the data array for an incoming payload; capacity grows in steps of 256.
  void ResizeData(size_t size);

  ByteArray m_data;
  int m_nLastError = 0;
  BYTE m_nCommand;
};
