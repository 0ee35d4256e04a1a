// The report protocol of the receiver's application firmware.
//
// Frame: STX 0x02, status (sent 0x00), type, length (1 byte; 2 bytes high
// first in the long form), data, checksum = low 8 bits of status + type +
// length byte(s) + data, ETX 0x03. Outside a frame the receiver may answer
// with a lone ACK 0x06 or NAK 0x15.
#pragma once
#include "protocol/Packet.h"

class CTCPacket : public CPacket {
 public:
  static constexpr BYTE STX = 0x02;
  static constexpr BYTE ETX = 0x03;
  static constexpr BYTE ACK = 0x06;
  static constexpr BYTE NAK = 0x15;
  static constexpr int kAttempts = 3;

  explicit CTCPacket(BYTE type = 0) : CPacket(type) {}

  // Sends the short frame of the current type and data.
  bool SendPacket(CioInterface& port) override;
  // True when a valid frame of the current type arrived (its payload is now
  // the data), or, while acknowledgements are expected, a lone ACK or NAK
  // (data empty; see AckReceived/NakReceived). Three attempts of `timeout`
  // whole-clock seconds each; port exceptions pass only from the last one.
  bool ReceivePacket(CioInterface& port, double timeout) override;
  // The same with the two-byte length. Refuses (false, nothing sent) type 0.
  virtual bool SendLongPacket(CioInterface& port);
  // The same with the two-byte length. Between attempts it sends once more the
  // request this packet sent last (SendLongPacket), for a receiver that missed it.
  virtual bool ReceiveLongPacket(CioInterface& port, double timeout);
  // ReceiveLongPacket into this packet for the reply to `request`, another
  // packet that sent its request last and keeps it for the next send: the
  // sends between attempts repeat `request`'s frame, not this packet's.
  bool ReceiveLongReplyTo(const CTCPacket& request, CioInterface& port, double timeout);
  // When set, lone ACK and NAK bytes are ignored while hunting for a frame.
  virtual void SetAckNotExpected(bool flag) { m_bAckNotExpected = flag; }

  bool AckReceived() const { return m_bAckReceived != 0; }
  bool NakReceived() const { return m_bNakReceived != 0; }
  bool IsReplyValid() const { return m_bReplyValid != 0; }
  bool IsAckNotExpected() const { return m_bAckNotExpected != 0; }
  BYTE GetType() const { return GetCommand(); }
  void SetType(BYTE type) { SetCommand(type); }

 protected:
  bool Send(CioInterface& port, bool longForm);
  bool Receive(CioInterface& port, double timeout, bool longForm);
  // One attempt; false on time-out or a failed read.
  bool ReceiveAttempt(CioInterface& port, double timeout, bool longForm);

  BYTE m_bReplyValid = 0;
  BYTE m_bAckReceived = 0;
  BYTE m_bNakReceived = 0;
  BYTE m_bAckNotExpected = 0;
  // The request last sent, for the sends between receive attempts.
  ByteArray m_savedData;
  BYTE m_nSavedType = 0;
  BYTE m_bResend = 0;
  // While ReceiveLongReplyTo runs: the packet whose request those sends repeat.
  const CTCPacket* m_resendOf = nullptr;
};
