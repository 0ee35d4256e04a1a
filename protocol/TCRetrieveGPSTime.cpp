#include "protocol/TCRetrieveGPSTime.h"

#include <cstdlib>
#include <string>

bool CTCRetrieveGPSTime::SendPacket(CioInterface& port) {
  SetType(kRequestType);
  return CTCPacket::SendPacket(port);
}

bool CTCRetrieveGPSTime::ReceiveReply(CioInterface& port) {
  SetType(kReplyType);
  SetAckNotExpected(true);
  m_bReplyValid = ReceivePacket(port, 3.0);
  return m_bReplyValid != 0;
}

bool CTCRetrieveGPSTime::GetText(UINT first, UINT count, CString* text) const {
  if (!m_bReplyValid || text == nullptr) return false;
  if (static_cast<size_t>(first) + count > m_data.size()) return false;
  *text = CString(std::string(reinterpret_cast<const char*>(m_data.data()) + first, count));
  return true;
}

bool CTCRetrieveGPSTime::GetNumber(UINT first, UINT count, long* value) const {
  CString text;
  if (value == nullptr || !GetText(first, count, &text)) return false;
  // The copy ends at the field, so the conversion cannot run into the next one.
  *value = std::strtol(text.c_str(), nullptr, 10);
  return true;
}
