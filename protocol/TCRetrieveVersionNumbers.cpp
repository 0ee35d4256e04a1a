#include "protocol/TCRetrieveVersionNumbers.h"

#include <string>

#include "afx/Format.h"

bool CTCRetrieveVersionNumbers::SendPacket(CioInterface& port) {
  SetType(kRequestType);
  return CTCPacket::SendPacket(port);
}

bool CTCRetrieveVersionNumbers::ReceiveReply(CioInterface& port) {
  SetType(kReplyType);
  SetAckNotExpected(true);
  m_bReplyValid = ReceivePacket(port, 3.0);
  return m_bReplyValid != 0;
}

bool CTCRetrieveVersionNumbers::GetVersionText(UINT offset, CString* text) const {
  if (!m_bReplyValid || text == nullptr) return false;
  if (static_cast<size_t>(offset) + kFieldSize > m_data.size()) return false;
  const std::string field(reinterpret_cast<const char*>(m_data.data()) + offset, kFieldSize);
  const std::string major = field.substr(0, 3);
  const std::string minor = field.substr(3, 2);
  *text = FormatString(4012, 3, major.c_str(), 2, minor.c_str());
  return true;
}
