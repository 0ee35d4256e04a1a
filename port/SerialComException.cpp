#include "port/SerialComException.h"

#include <cstring>

#include "afx/Format.h"

BOOL CSerialComException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (buffer == nullptr || maxLen == 0) return FALSE;
  const UINT id = m_nErrorCode == kGeneric ? 901 : m_nErrorCode + 601;
  const CString text = FormatString(id, m_nErrorCode, m_nSystemError, m_nPortNumber);
  std::strncpy(buffer, text.c_str(), maxLen - 1);
  buffer[maxLen - 1] = '\0';
  return TRUE;
}

int CSerialComException::ReportError(UINT type, UINT messageId) const {
  if (m_bShown) return IDOK;
  return CException::ReportError(type, messageId);
}
