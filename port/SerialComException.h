// Failures of the serial interface. The message is string 901 for the
// generic code 300 and string (code + 601) for the others, formatted with the
// code, the system error and the COM number.
#pragma once
#include "afx/Exception.h"

class CSerialComException : public CException {
 public:
  static constexpr DWORD kGeneric = 300;
  static constexpr DWORD kOpen = 301;         // opening the port, setting time-outs
  static constexpr DWORD kLineSettings = 302; // reading or writing the line settings
  static constexpr DWORD kRead = 303;
  static constexpr DWORD kWrite = 304;

  // `shown`: the failure behind this one has already been shown to the user.
  CSerialComException(DWORD errorCode, DWORD portNumber, DWORD systemError = 0, bool shown = false)
      : m_nPortNumber(portNumber), m_nErrorCode(errorCode), m_nSystemError(systemError), m_bShown(shown) {}

  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;
  // Shows the message, unless the failure has been shown already (then IDOK).
  int ReportError(UINT type = MB_OK, UINT messageId = 0) const override;
  bool WasShown() const { return m_bShown; }

  DWORD GetPortNumber() const { return m_nPortNumber; }
  DWORD GetErrorCode() const { return m_nErrorCode; }
  DWORD GetSystemError() const { return m_nSystemError; }

 private:
  DWORD m_nPortNumber;
  DWORD m_nErrorCode;
  DWORD m_nSystemError;
  bool m_bShown;
};
