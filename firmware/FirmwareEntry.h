// One registered firmware file: a subkey of the firmware catalogue.
//
//   Description      REG_SZ     text of the update page's list
//   FirmwarePath     REG_SZ     full path of the file
//   DeviceType       REG_SZ     device the firmware is for ("QZ710", "QZ710R")
//   OriginalInstall  REG_DWORD  0 for entries the user registered
//   FWSIG            REG_SZ     platform code name of the file (optional)
#pragma once
#include "afx/Registry.h"
#include "afx/String.h"

class FirmwareEntry final {
 public:
  FirmwareEntry() = default;
  FirmwareEntry(const char* description, const char* deviceType, const char* firmwarePath, const char* keyName,
                DWORD originalInstall);
  FirmwareEntry(const char* description, const char* deviceType, const char* firmwarePath, const char* keyName,
                const char* fwsig, DWORD originalInstall);

  // Whether `key` holds the required values with their types and names an existing file.
  static bool IsValidFirmwareKey(HKEY key);

  // Reads the entry from `key` (named `keyName`) when it is valid; returns the validity.
  virtual bool ReadEntryFromRegistry(const char* keyName, HKEY key);
  // Writes the entry as a subkey of `parent`; on failure removes the subkey
  // again, sets `error` to the registry's result code and returns false.
  virtual bool WriteEntryToRegistry(HKEY parent, DWORD& error) const;

  const CString& GetDeviceType() const { return deviceType_; }
  const CString& GetDescription() const { return description_; }
  const CString& GetFirmwarePath() const { return firmwarePath_; }
  const CString& GetKeyName() const { return keyName_; }
  const CString& GetFWSIG() const { return fwsig_; }
  DWORD GetOriginalInstall() const { return originalInstall_; }

 private:
  CString deviceType_;
  CString description_;
  CString firmwarePath_;
  CString keyName_;
  CString fwsig_;
  DWORD originalInstall_ = 0;
};
