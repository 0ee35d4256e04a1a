#include "protocol/TCPacket.h"

#include <ctime>

#include "afx/Clock.h"
#include "afx/Exception.h"
#include "afx/Trace.h"
#include "port/SerialComException.h"

namespace {
enum class State { Hunt, Status, Type, Length, LengthHigh, LengthLow, Data, Checksum, End };
}  // namespace

bool CTCPacket::SendPacket(CioInterface& port) { return Send(port, false); }

bool CTCPacket::SendLongPacket(CioInterface& port) {
  if (m_nCommand == 0) return false;
  return Send(port, true);
}

bool CTCPacket::Send(CioInterface& port, bool longForm) {
  const BYTE current = m_nCommand;
  if (!m_bResend) {
    m_savedData = m_data;
    m_nSavedType = m_nCommand;
  } else {
    m_data = m_savedData;
    m_nCommand = m_nSavedType;
  }
  const size_t size = m_data.size();
  BYTE header[5] = {STX, 0x00, m_nCommand, 0, 0};
  DWORD headerSize = 4;
  if (longForm) {
    header[3] = static_cast<BYTE>(size >> 8);
    header[4] = static_cast<BYTE>(size);
    headerSize = 5;
  } else {
    // Report payloads stay within 255 bytes; only the low byte is sent.
    header[3] = static_cast<BYTE>(size);
  }
  BYTE sum = 0;
  for (DWORD i = 1; i < headerSize; ++i) sum = static_cast<BYTE>(sum + header[i]);
  sum = static_cast<BYTE>(sum + SumOfBytes(m_data.data(), size));
  const BYTE trailer[2] = {sum, ETX};

  TRACE("report 0x%02X%s, %zu bytes\n", m_nCommand, m_bResend ? " again" : "", size);
  bool ok = true;
  try {
    port.WriteFrame({{header, headerSize}, {m_data.data(), static_cast<DWORD>(size)}, {trailer, 2}});
  } catch (const CSerialComException& e) {
    // Shown once: the resends of a long packet meet the same dead port.
    e.ReportError(MB_OK);
    port.NoteFailureShown();
    ok = false;
  } catch (const CException& e) {
    e.ReportError(MB_OK);
    ok = false;
  }
  if (m_bResend) m_nCommand = current;
  return ok;
}

bool CTCPacket::ReceivePacket(CioInterface& port, double timeout) { return Receive(port, timeout, false); }

bool CTCPacket::ReceiveLongPacket(CioInterface& port, double timeout) { return Receive(port, timeout, true); }

bool CTCPacket::ReceiveLongReplyTo(const CTCPacket& request, CioInterface& port, double timeout) {
  // The request is copied only when it has to be sent again: a transfer's
  // replies nearly always come at the first attempt.
  struct Forget {
    const CTCPacket*& of;
    ~Forget() { of = nullptr; }
  } forget{m_resendOf};
  m_resendOf = &request;
  return ReceiveLongPacket(port, timeout);
}

bool CTCPacket::Receive(CioInterface& port, double timeout, bool longForm) {
  // Whatever way the receive ends, what it expected is no longer awaited.
  struct ExpectNothingMore {
    CioInterface& port;
    ~ExpectNothingMore() { port.ExpectInput(0); }
  } done{port};
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    try {
      if (ReceiveAttempt(port, timeout, longForm)) return true;
    } catch (const CSerialComException& e) {
      if (attempt == kAttempts) throw;
      TRACE("CTCPacket: attempt %d: port failure %u ignored\n", attempt, e.GetErrorCode());
    }
    TRACE("reply 0x%02X: none within %g s (attempt %d of %d)\n", m_nCommand, timeout, attempt, kAttempts);
    if (longForm && attempt < kAttempts) {
      // The base sender on purpose: a class that sets its request type in its
      // own SendLongPacket would otherwise leave that type behind, and the
      // next attempt would listen for the request instead of the reply.
      if (m_resendOf) {
        m_savedData = m_resendOf->m_savedData;
        m_nSavedType = m_resendOf->m_nSavedType;
      }
      m_bResend = 1;
      CTCPacket::SendLongPacket(port);
      m_bResend = 0;
    }
  }
  return false;
}

bool CTCPacket::ReceiveAttempt(CioInterface& port, double timeout, bool longForm) {
  State state = State::Hunt;
  BYTE checksum = 0;
  size_t index = 0;
  size_t length = 0;
  m_bAckReceived = 0;
  m_bNakReceived = 0;
  // The shortest frame (or a lone acknowledgement byte) before anything can be decided.
  port.ExpectInput(m_bAckNotExpected ? (longForm ? 7 : 6) : 1);
  const std::time_t start = AfxTime();
  for (;;) {
    if (std::difftime(AfxTime(), start) >= timeout) return false;
    BYTE b = 0;
    if (!port.ReadByte(&b)) {
      m_nLastError = -1;
      return false;
    }
    switch (state) {
      case State::Hunt:
        if (b == STX) {
          state = State::Status;
        } else if (!m_bAckNotExpected && (b == ACK || b == NAK)) {
          m_data.clear();
          (b == ACK ? m_bAckReceived : m_bNakReceived) = 1;
          return true;
        }
        break;
      case State::Status:
        checksum = b;
        state = State::Type;
        break;
      case State::Type:
        if (b == m_nCommand) {
          checksum = static_cast<BYTE>(checksum + b);
          state = longForm ? State::LengthHigh : State::Length;
        } else {
          state = State::Hunt;
        }
        break;
      case State::Length:
        length = b;
        checksum = static_cast<BYTE>(checksum + b);
        port.ExpectInput(static_cast<DWORD>(length + 2));
        ResizeData(length);
        index = 0;
        state = length == 0 ? State::Checksum : State::Data;
        break;
      case State::LengthHigh:
        length = static_cast<size_t>(b) << 8;
        checksum = static_cast<BYTE>(checksum + b);
        state = State::LengthLow;
        break;
      case State::LengthLow:
        length += b;
        checksum = static_cast<BYTE>(checksum + b);
        port.ExpectInput(static_cast<DWORD>(length + 2));
        ResizeData(length);
        index = 0;
        state = length == 0 ? State::Checksum : State::Data;
        break;
      case State::Data:
        m_data[index++] = b;
        checksum = static_cast<BYTE>(checksum + b);
        if (index == length) state = State::Checksum;
        break;
      case State::Checksum:
        state = b == checksum ? State::End : State::Hunt;
        break;
      case State::End:
        if (b == ETX) return true;
        state = State::Hunt;
        break;
    }
  }
}
