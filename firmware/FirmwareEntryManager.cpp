#include "firmware/FirmwareEntryManager.h"

#include "afx/File.h"
#include "afx/RegistrySnapshot.h"
#include "device/ModelTable.h"

namespace {
constexpr DWORD kKeyNameBuffer = 260;
}

FirmwareEntryManager::~FirmwareEntryManager() { Clear(); }

FirmwareEntry* FirmwareEntryManager::GetAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return entries_[static_cast<size_t>(index)].get();
}

void FirmwareEntryManager::Clear() {
  entries_.clear();
  count_ = 0;
}

LONG FirmwareEntryManager::OpenRoot(REGSAM sam, HKEY* key) {
  const LONG rc = RegOpenKeyEx(HKEY_LOCAL_MACHINE, kRootPath, 0, sam, key);
  if (rc == ERROR_SUCCESS) return rc;
  return RegOpenKeyEx(HKEY_LOCAL_MACHINE, kFallbackRootPath, 0, sam, key);
}

CString FirmwareEntryManager::SignatureCodes(const char* fwsig) {
  CString codes;
  if (!fwsig) return codes;
  for (int i = 0; i < CModelTable::kRowCount; ++i) {
    const ModelRow& row = CModelTable::GetRow(i);
    if (CString(row.platformName) == fwsig) codes += std::to_string(row.productId) + ",";
  }
  return codes;
}

void FirmwareEntryManager::RetrieveFirmwareFiles(const char* deviceFilter, const char* productName) {
  Clear();
  // One look at the store file for the whole scan, not one per value read.
  afx::RegistrySnapshot snapshot;
  HKEY root = nullptr;
  if (OpenRoot(KEY_READ, &root) != ERROR_SUCCESS) return;

  const CString product = productName ? productName : "";
  const CString codeText = std::to_string(CModelTable::GetProductId(product)) + ",";

  for (DWORD index = 0;;) {
    char name[kKeyNameBuffer];
    DWORD nameLength = kKeyNameBuffer;
    if (RegEnumKeyEx(root, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      ++index;
      continue;
    }
    // Reading validates the key; an invalid one is dropped from the store.
    auto entry = std::make_unique<FirmwareEntry>();
    if (!entry->ReadEntryFromRegistry(name, key)) {
      RegCloseKey(key);
      DWORD error = 0;
      // The keys after a deleted one move up: look at the same index again.
      if (!RemoveFirmwareEntry(name, error)) ++index;
      continue;
    }
    bool keep = true;
    if (deviceFilter) keep = entry->GetDeviceType() == deviceFilter;
    if (keep && !product.empty()) {
      const CString codes = SignatureCodes(entry->GetFWSIG());
      if (!codes.empty()) keep = codes.find(codeText) != std::string::npos;
    }
    if (keep) {
      entries_.push_back(std::move(entry));
      ++count_;
    }
    RegCloseKey(key);
    ++index;
  }
  RegCloseKey(root);
}

bool FirmwareEntryManager::AddFirmwareEntry(const FirmwareEntry& entry, DWORD& error) {
  CFileStatus status;
  if (!CFile::GetStatus(entry.GetFirmwarePath(), status)) {
    error = 0;
    return false;
  }
  HKEY root = nullptr;
  const LONG rc = OpenRoot(KEY_READ | KEY_WRITE, &root);
  if (rc != ERROR_SUCCESS) {
    error = static_cast<DWORD>(rc);
    return false;
  }
  DWORD writeError = 0;
  const bool ok = entry.WriteEntryToRegistry(root, writeError);
  RegCloseKey(root);
  if (!ok) error = 0;
  return ok;
}

bool FirmwareEntryManager::RemoveFirmwareEntry(const char* keyName, DWORD& error) {
  HKEY root = nullptr;
  LONG rc = OpenRoot(KEY_READ | KEY_WRITE, &root);
  if (rc == ERROR_SUCCESS) {
    rc = RegDeleteKey(root, keyName);
    RegCloseKey(root);
  }
  if (rc == ERROR_SUCCESS) return true;
  error = static_cast<DWORD>(rc);
  return false;
}
