#include "protocol/TCErrorLog.h"

bool CTCErrorLog::SendRequest(CioInterface& port) {
  SetType(kRequestType);
  return SendPacket(port);
}

bool CTCErrorLog::ReceiveReply(CioInterface& port) {
  SetType(kReplyType);
  SetAckNotExpected(true);
  m_bReplyValid = ReceivePacket(port, 3.0);
  return m_bReplyValid != 0;
}

void CTCErrorLog::SetEntryCountRequest() {
  ClearData();
  AppendByte(kCountRequest);
}

void CTCErrorLog::SetReadEntryRequest(WORD index) {
  ClearData();
  AppendByte(kReadEntry);
  AppendWord(index);
}

void CTCErrorLog::SetReadEntryLongRequest(WORD index) {
  ClearData();
  AppendByte(kReadEntryLong);
  AppendWord(index);
}

void CTCErrorLog::SetClearRequest() {
  ClearData();
  AppendByte(kClear);
}

bool CTCErrorLog::GetEntryCount(WORD* count) const {
  if (count == nullptr) return false;
  *count = 0;
  if (!m_bReplyValid || m_data.size() != 4 || m_data[0] != 0xFF || m_data[1] != 0x07) return false;
  *count = static_cast<WORD>((m_data[2] << 8) | m_data[3]);
  return true;
}
