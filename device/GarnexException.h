// Failures of the newer platform's connection and maintenance steps that are
// not loader-protocol failures. The message is string 800 for the generic
// code 700 and string (code + 100) for the others, formatted with the code
// and the COM number.
#pragma once
#include "afx/Exception.h"

class CGarnexException : public CException {
 public:
  static constexpr DWORD kOperationFailure = 700;
  static constexpr DWORD kNoReceiver = 701;
  static constexpr DWORD kUnexpectedReply = 707;
  static constexpr DWORD kNoReply = 708;
  static constexpr DWORD kResetFailed = 709;

  CGarnexException(DWORD code, DWORD portNumber) : m_nCode(code), m_nPortNumber(portNumber) {}

  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;

  DWORD GetCode() const { return m_nCode; }
  DWORD GetPortNumber() const { return m_nPortNumber; }

 private:
  DWORD m_nCode;
  DWORD m_nPortNumber;
};
