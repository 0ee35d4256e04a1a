#include "protocol/LSPacket.h"

#include <ctime>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "afx/Trace.h"
#include "port/SerialComException.h"

namespace {
enum class State { Hunt, Command, LengthHigh, LengthLow, Data, ChecksumHigh, ChecksumLow, End };
}  // namespace

bool CLSPacket::SendPacket(CioInterface& port) {
  // The length field is 16 bits wide; payloads never exceed it.
  const size_t size = m_data.size() & 0xFFFF;
  const BYTE header[4] = {STX, m_nCommand, static_cast<BYTE>(size >> 8), static_cast<BYTE>(size)};
  WORD sum = static_cast<WORD>(header[1] + header[2] + header[3]);
  sum = static_cast<WORD>(sum + SumOfBytes(m_data.data(), size));
  const BYTE trailer[3] = {static_cast<BYTE>(sum >> 8), static_cast<BYTE>(sum), ETX};

  TRACE("loader command %u, %zu bytes\n", m_nCommand, size);
  bool ok = true;
  try {
    port.WriteFrame({{header, sizeof header}, {m_data.data(), static_cast<DWORD>(size)}, {trailer, sizeof trailer}});
  } catch (const CException& e) {
    e.ReportError(MB_OK);
    ok = false;
  }
  return ok;
}

bool CLSPacket::ReceivePacket(CioInterface& port, double timeout) {
  // Whatever way the receive ends, what it expected is no longer awaited.
  struct ExpectNothingMore {
    CioInterface& port;
    ~ExpectNothingMore() { port.ExpectInput(0); }
  } done{port};
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    try {
      if (ReceiveAttempt(port, timeout)) return true;
    } catch (const CSerialComException& e) {
      if (attempt == kAttempts) throw;
      TRACE("CLSPacket: attempt %d: port failure %u ignored\n", attempt, e.GetErrorCode());
    }
    TRACE("loader reply %u: none within %g s (attempt %d of %d)\n", m_nCommand, timeout, attempt, kAttempts);
  }
  return false;
}

bool CLSPacket::ReceiveAttempt(CioInterface& port, double timeout) {
  State state = State::Hunt;
  WORD checksum = 0;
  WORD received = 0;
  size_t index = 0;
  size_t length = 0;
  port.ExpectInput(7);  // the shortest frame
  const std::time_t start = AfxTime();
  for (;;) {
    if (std::difftime(AfxTime(), start) >= timeout) return false;
    BYTE b = 0;
    if (port.Read(&b, 1) == 0) {
      m_nLastError = -1;
      return false;
    }
    switch (state) {
      case State::Hunt:
        if (b == STX) state = State::Command;
        break;
      case State::Command:
        if (b == m_nCommand) {
          checksum = b;
          state = State::LengthHigh;
        } else {
          state = State::Hunt;
        }
        break;
      case State::LengthHigh:
        length = static_cast<size_t>(b) << 8;
        checksum = static_cast<WORD>(checksum + b);
        state = State::LengthLow;
        break;
      case State::LengthLow:
        length += b;
        checksum = static_cast<WORD>(checksum + b);
        port.ExpectInput(static_cast<DWORD>(length + 3));
        if (length == 0) {
          ResizeData(0);
          state = State::ChecksumHigh;
        } else if (length <= kMaxReply) {
          ResizeData(length);
          index = 0;
          state = State::Data;
        } else {
          state = State::Hunt;
        }
        break;
      case State::Data:
        m_data[index++] = b;
        checksum = static_cast<WORD>(checksum + b);
        if (index == length) state = State::ChecksumHigh;
        break;
      case State::ChecksumHigh:
        received = static_cast<WORD>(b << 8);
        state = State::ChecksumLow;
        break;
      case State::ChecksumLow:
        received = static_cast<WORD>(received | b);
        state = received == checksum ? State::End : State::Hunt;
        break;
      case State::End:
        if (b == ETX) return true;
        state = State::Hunt;
        break;
    }
  }
}
