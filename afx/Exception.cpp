#include "afx/Exception.h"

#include <cstring>

#include "afx/Module.h"
#include "afx/Ui.h"

namespace {
void CopyMessage(const char* text, char* buffer, UINT maxLen) {
  if (buffer == nullptr || maxLen == 0) return;
  std::strncpy(buffer, text, maxLen - 1);
  buffer[maxLen - 1] = '\0';
}
}  // namespace

BOOL CException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  CopyMessage("", buffer, maxLen);
  return FALSE;
}

CString CException::GetMessage() const {
  char buffer[1024];
  buffer[0] = '\0';
  if (!GetErrorMessage(buffer, sizeof buffer)) return {};
  return CString(buffer);
}

int CException::ReportError(UINT type, UINT messageId) const {
  CString text = GetMessage();
  if (text.empty() && messageId != 0) text = AfxLoadString(messageId);
  if (text.empty()) text = "An unsupported operation was attempted.";
  return AfxMessageBox(text, type);
}

const char* CException::what() const noexcept {
  try {
    what_ = GetMessage();
  } catch (...) {
    return "exception";
  }
  return what_.empty() ? "exception" : what_.c_str();
}

BOOL CMemoryException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  CopyMessage("Out of memory.", buffer, maxLen);
  return TRUE;
}

BOOL CFileException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  static const char* const kTexts[] = {
      "No error occurred",
      "An unspecified error occurred while accessing %s.",
      "%s was not found.",
      "%s contains an invalid path.",
      "%s could not be opened because there are too many open files.",
      "Access to %s was denied.",
      "An invalid file handle was associated with %s.",
      "%s could not be removed because it is the current directory.",
      "%s could not be created because the directory is full.",
      "Seek failed on %s",
      "A hardware I/O error was reported while accessing %s.",
      "A sharing violation occurred while accessing %s.",
      "A locking violation occurred while accessing %s.",
      "Disk full while accessing %s.",
      "An attempt was made to access %s past its end.",
  };
  const int cause = (m_cause >= 0 && m_cause <= endOfFile) ? m_cause : genericException;
  const char* name = m_strFileName.empty() ? "an unnamed file" : m_strFileName.c_str();
  CString text;
  text.Format(kTexts[cause], name);
  CopyMessage(text.c_str(), buffer, maxLen);
  return TRUE;
}

void AfxThrowUserException() { throw CUserException(); }
void AfxThrowMemoryException() { throw CMemoryException(); }
void AfxThrowFileException(int cause, LONG osError, const char* fileName) {
  throw CFileException(cause, osError, fileName);
}

BOOL CNotSupportedException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  CopyMessage(message_.empty() ? "An unsupported operation was attempted." : message_.c_str(), buffer, maxLen);
  return TRUE;
}
