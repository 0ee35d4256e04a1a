// The framework's exception family. Exceptions are thrown by value and caught
// by reference; "report it and delete it" becomes "report it".
#pragma once
#include <exception>

#include "afx/String.h"
#include "afx/WinTypes.h"

class CException : public std::exception {
 public:
  CException() = default;
  CException(const CException&) = default;
  CException& operator=(const CException&) = default;
  ~CException() override = default;

  // Copies the message (at most maxLen - 1 characters, always terminated).
  // Returns FALSE when the exception has no message.
  virtual BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const;
  // Shows the message in a message box through the UI presenter; when the
  // exception has no message, string `messageId` is shown instead.
  virtual int ReportError(UINT type = MB_OK, UINT messageId = 0) const;
  // The message as a string; empty when there is none.
  CString GetMessage() const;

  const char* what() const noexcept override;

 private:
  mutable CString what_;
};

// The user's cancel, and the end of a run after a message the run has shown.
class CUserException : public CException {};

class CMemoryException : public CException {
 public:
  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;
};

class CFileException : public CException {
 public:
  enum Cause {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
  };

  CFileException(int cause = none, LONG osError = -1, const char* fileName = nullptr)
      : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;

  // Maps an errno value to the cause a caller can act on.
  static int ErrnoToCause(int err);

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;
};

[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, const char* fileName = nullptr);

// A request the library cannot serve; carries its own message.
class CNotSupportedException : public CException {
 public:
  explicit CNotSupportedException(const char* message = "") : message_(message ? message : "") {}
  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;

 private:
  CString message_;
};
