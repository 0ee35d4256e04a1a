#include "firmware/LSFlashFileException.h"

#include <cstring>

#include "afx/Format.h"

BOOL CLSFlashFileException::GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  const CString text = FormatString(code_ + kMessageOffset, static_cast<int>(code_), fileName_.c_str());
  if (buffer && maxLen > 0) {
    std::strncpy(buffer, text.c_str(), maxLen - 1);
    buffer[maxLen - 1] = '\0';
  }
  return TRUE;
}

int CLSFlashFileException::ReportError(UINT type, UINT messageId) const {
  return CException::ReportError(type | MB_SETFOREGROUND, messageId);
}

UINT CLSFlashFileException::CodeForFileError(int cause) {
  switch (cause) {
    case CFileException::none: return 0;
    case CFileException::genericException: return 850;
    case CFileException::fileNotFound:
    case CFileException::badPath: return 853;
    case CFileException::tooManyOpenFiles: return 854;
    case CFileException::accessDenied:
    case CFileException::sharingViolation:
    case CFileException::lockViolation: return 855;
    case CFileException::invalidFile: return 856;
    case CFileException::badSeek: return 857;
    case CFileException::hardIO: return 858;
    case CFileException::diskFull: return 859;
    case CFileException::endOfFile: return 860;
    default: return 861;
  }
}

void CLSFlashFileException::ThrowForFileError(const CFileException& error, const char* fileName) {
  const UINT code = CodeForFileError(error.m_cause);
  if (code != 0) throw CLSFlashFileException(code, fileName);
}
