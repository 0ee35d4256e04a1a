// The line settings a caller hands to CSerialPortInterface::Configure; the
// port keeps a copy of the whole record.
#pragma once
#include "afx/WinTypes.h"

struct PortSettings {
  DWORD baudRate = 9600;   // bits per second; 0 is refused
  BYTE parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  BYTE dataBits = 8;       // 5..8
  BYTE stopBits = 0;       // 0 one, 1 one and a half, 2 two
  DWORD flowControl = 0;   // 0 none; non-zero: RTS handshaking; bit 0 also CTS output flow
  DWORD reserved = 0;      // carried, never read
  DWORD readTimeout = 0;   // ms; upper 16 bits 0xDEAD select interval timing (lower 16 bits = ms)

  // Upper half of readTimeout that selects interval timing.
  static constexpr DWORD kIntervalMarker = 0xDEAD;
};
