#include "device/GarnexException.h"

#include <cstring>

#include "afx/Format.h"

namespace {
constexpr UINT kGenericMessageId = 800;
constexpr UINT kMessageOffset = 100;
}  // namespace

BOOL CGarnexException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (buffer == nullptr || maxLen == 0) return FALSE;
  const CString text = m_nCode == kOperationFailure ? AfxLoadString(kGenericMessageId)
                                                    : FormatString(m_nCode + kMessageOffset, m_nCode, m_nPortNumber);
  std::strncpy(buffer, text.c_str(), maxLen - 1);
  buffer[maxLen - 1] = '\0';
  return TRUE;
}
