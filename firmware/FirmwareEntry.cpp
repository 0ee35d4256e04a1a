#include "firmware/FirmwareEntry.h"

#include <algorithm>
#include <vector>

#include "afx/File.h"

namespace {

constexpr const char* kDescription = "Description";
constexpr const char* kFirmwarePath = "FirmwarePath";
constexpr const char* kDeviceType = "DeviceType";
constexpr const char* kOriginalInstall = "OriginalInstall";
constexpr const char* kFwsig = "FWSIG";

// A REG_SZ value of at least one character (two bytes with the terminator).
bool HasText(HKEY key, const char* name) {
  DWORD type = REG_NONE, size = 0;
  return RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ && size >= 2;
}

// The text of a REG_SZ value; false when it is missing or of another type.
bool QueryText(HKEY key, const char* name, CString& out) {
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
  std::vector<char> buffer(size + 1, '\0');
  if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  buffer[std::min<size_t>(size, buffer.size() - 1)] = '\0';
  out = buffer.data();
  return true;
}

bool QueryDword(HKEY key, const char* name, DWORD& out) {
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size == 0)
    return false;
  out = value;
  return true;
}

LONG SetText(HKEY key, const char* name, const CString& text) {
  return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
}

}  // namespace

FirmwareEntry::FirmwareEntry(const char* description, const char* deviceType, const char* firmwarePath,
                             const char* keyName, DWORD originalInstall)
    : FirmwareEntry(description, deviceType, firmwarePath, keyName, "", originalInstall) {}

FirmwareEntry::FirmwareEntry(const char* description, const char* deviceType, const char* firmwarePath,
                             const char* keyName, const char* fwsig, DWORD originalInstall)
    : deviceType_(deviceType),
      description_(description),
      firmwarePath_(firmwarePath),
      keyName_(keyName),
      fwsig_(fwsig),
      originalInstall_(originalInstall) {}

bool FirmwareEntry::IsValidFirmwareKey(HKEY key) {
  if (!HasText(key, kDescription) || !HasText(key, kDeviceType) || !HasText(key, kFirmwarePath)) return false;
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueEx(key, kOriginalInstall, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_DWORD ||
      size == 0)
    return false;
  CString path;
  CFileStatus status;
  return QueryText(key, kFirmwarePath, path) && CFile::GetStatus(path, status);
}

bool FirmwareEntry::ReadEntryFromRegistry(const char* keyName, HKEY key) {
  if (!IsValidFirmwareKey(key)) return false;
  keyName_ = keyName;
  QueryText(key, kDescription, description_);
  QueryText(key, kFirmwarePath, firmwarePath_);
  QueryText(key, kDeviceType, deviceType_);
  if (!QueryText(key, kFwsig, fwsig_)) fwsig_.Empty();
  if (!QueryDword(key, kOriginalInstall, originalInstall_)) originalInstall_ = 0;
  return true;
}

bool FirmwareEntry::WriteEntryToRegistry(HKEY parent, DWORD& error) const {
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG rc = RegCreateKeyEx(parent, keyName_, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                           &disposition);
  if (rc == ERROR_SUCCESS) {
    const DWORD install = originalInstall_;
    rc = SetText(key, kDescription, description_);
    if (rc == ERROR_SUCCESS) rc = SetText(key, kFirmwarePath, firmwarePath_);
    if (rc == ERROR_SUCCESS) rc = SetText(key, kDeviceType, deviceType_);
    if (rc == ERROR_SUCCESS)
      rc = RegSetValueEx(key, kOriginalInstall, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&install), sizeof install);
    if (rc == ERROR_SUCCESS) rc = SetText(key, kFwsig, fwsig_);
    RegCloseKey(key);
  }
  if (rc == ERROR_SUCCESS) return true;
  error = static_cast<DWORD>(rc);
  // Half an entry would be deleted as invalid at the next load anyway.
  RegDeleteKey(parent, keyName_);
  return false;
}
