// The firmware catalogue: the registered firmware files, read from the
// registry and filtered for a device and a receiver.
#pragma once
#include <memory>
#include <vector>

#include "afx/Registry.h"
#include "firmware/FirmwareEntry.h"

class FirmwareEntryManager {
 public:
  static constexpr const char* kRootPath = "SOFTWARE\\Korvane\\Talvern\\Firmware";
  // Where a 32-bit registration lands on a 64-bit system.
  static constexpr const char* kFallbackRootPath = "WOW6432NODE\\SOFTWARE\\Korvane\\Talvern\\Firmware";

  FirmwareEntryManager() = default;
  ~FirmwareEntryManager();
  FirmwareEntryManager(const FirmwareEntryManager&) = delete;
  FirmwareEntryManager& operator=(const FirmwareEntryManager&) = delete;

  int GetCount() const { return static_cast<int>(count_); }
  // Entry `index`; null outside the range.
  FirmwareEntry* GetAt(int index) const;
  void Clear();

  // Loads the entries for device `deviceFilter` (null: every device) that fit
  // the receiver named `productName` (empty: any). Invalid keys are deleted.
  void RetrieveFirmwareFiles(const char* deviceFilter, const char* productName);
  // Registers `entry`; false with the registry's result code (0 when the file does not exist).
  bool AddFirmwareEntry(const FirmwareEntry& entry, DWORD& error);
  // Deletes the entry named `keyName`; false with the registry's result code.
  bool RemoveFirmwareEntry(const char* keyName, DWORD& error);

  // "c1,c2,...," for every model-table row whose platform is `fwsig`, in table order.
  static CString SignatureCodes(const char* fwsig);

 private:
  // Opens the catalogue root with `sam`, trying the fallback path second.
  static LONG OpenRoot(REGSAM sam, HKEY* key);

  DWORD count_ = 0;
  std::vector<std::unique_ptr<FirmwareEntry>> entries_;
};
