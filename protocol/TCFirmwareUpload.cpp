#include "protocol/TCFirmwareUpload.h"

bool CTCFirmwareUpload::SendPacket(CioInterface& port) {
  SetType(kRequestType);
  return CTCPacket::SendPacket(port);
}

bool CTCFirmwareUpload::SendLongPacket(CioInterface& port) {
  SetType(kRequestType);
  return CTCPacket::SendLongPacket(port);
}

bool CTCFirmwareUpload::ReceiveLongPacket(CioInterface& port, double timeout) {
  SetType(kReplyType);
  SetAckNotExpected(true);
  m_bReplyValid = CTCPacket::ReceiveLongPacket(port, timeout);
  return m_bReplyValid != 0;
}

bool CTCFirmwareUpload::ReceiveReply(CioInterface& port) {
  SetType(kReplyType);
  SetAckNotExpected(true);
  m_bReplyValid = ReceivePacket(port, 3.0);
  return m_bReplyValid != 0;
}

void CTCFirmwareUpload::SetStatusQuery() {
  ClearData();
  AppendByte(kStatus);
  AppendByte(0x00);
}

void CTCFirmwareUpload::SetAbandonRequest() {
  ClearData();
  AppendByte(kUpload);
  AppendByte(0x02);
}

void CTCFirmwareUpload::SetDataBlock(bool install, DWORD address, const BYTE* data, UINT count) {
  ClearData();
  AppendByte(kUpload);
  AppendByte(install ? 0x00 : 0x01);
  AppendDWord(address);
  AppendData(data, count);
}

bool CTCFirmwareUpload::GetStatus(BYTE* status) const {
  if (!m_bReplyValid) return false;
  if (status != nullptr && m_data.size() >= 2 && m_data[0] == kUpload) *status = m_data[1];
  return true;
}
