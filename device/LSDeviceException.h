// Loader-protocol failures of a receiver interface. The message is string
// 1100 for the generic code 800 and string (code + 300) for the others,
// formatted with the code, the family name, the COM number and the family
// name again. A silent exception reports nothing: it stands for a failure
// that has already been shown to the user.
#pragma once
#include "afx/Exception.h"

class CLSDeviceException : public CException {
 public:
  static constexpr DWORD kOperationFailure = 800;
  static constexpr DWORD kNoResponse = 801;
  static constexpr DWORD kEraseFailed = 802;
  static constexpr DWORD kEraseTimedOut = 803;
  static constexpr DWORD kSwitchBaudNoReply = 805;
  static constexpr DWORD kIdentityMissing = 808;
  static constexpr DWORD kCommunicationBroken = 809;
  static constexpr DWORD kProductInfoLength = 811;
  static constexpr DWORD kRebootNoReply = 812;
  static constexpr DWORD kBlockFailed = 813;
  static constexpr DWORD kProductIdRefused = 814;
  static constexpr DWORD kRadioReadFailed = 817;
  static constexpr DWORD kRadioWriteRefused = 818;
  static constexpr DWORD kStillApplication = 819;
  static constexpr DWORD kNoRadio = 820;
  static constexpr DWORD kHardwareTooNew = 822;
  static constexpr DWORD kPlatformMismatch = 824;
  static constexpr DWORD kMemoryMapFailed = 849;

  CLSDeviceException(DWORD code, DWORD portNumber, bool silent = false)
      : m_nCode(code), m_nPortNumber(portNumber), m_bSilent(silent ? 1 : 0) {}

  BOOL GetErrorMessage(char* buffer, UINT maxLen, UINT* helpContext = nullptr) const override;
  // A silent exception shows nothing and returns IDOK.
  int ReportError(UINT type = MB_OK, UINT messageId = 0) const override;

  DWORD GetCode() const { return m_nCode; }
  DWORD GetPortNumber() const { return m_nPortNumber; }
  bool IsSilent() const { return m_bSilent != 0; }

 private:
  DWORD m_nCode;
  DWORD m_nPortNumber;
  BYTE m_bSilent;
};
