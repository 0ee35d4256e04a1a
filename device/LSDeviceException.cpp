#include "device/LSDeviceException.h"

#include <cstring>

#include "afx/Format.h"

namespace {
constexpr UINT kFamilyNameId = 212;
constexpr UINT kGenericMessageId = 1100;
constexpr UINT kMessageOffset = 300;
}  // namespace

BOOL CLSDeviceException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (buffer == nullptr || maxLen == 0) return FALSE;
  buffer[0] = '\0';
  if (IsSilent()) return FALSE;
  CString text;
  if (m_nCode == kOperationFailure) {
    text = AfxLoadString(kGenericMessageId);
  } else {
    const CString family = AfxLoadString(kFamilyNameId);
    text = FormatString(m_nCode + kMessageOffset, m_nCode, family.c_str(), m_nPortNumber, family.c_str());
  }
  std::strncpy(buffer, text.c_str(), maxLen - 1);
  buffer[maxLen - 1] = '\0';
  return TRUE;
}

int CLSDeviceException::ReportError(UINT type, UINT messageId) const {
  if (IsSilent()) return IDOK;
  return CException::ReportError(type, messageId);
}
