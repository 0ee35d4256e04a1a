// The Windows registry behind the framework's Reg* calls. A handle the
// caller holds is the system's own key handle; the two predefined roots
// stand for HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#include <mutex>
#include <set>

#include "afx/SystemRegistry.h"
#include "afx/win/WinCalls.h"

namespace afx {
namespace {

class WinSystemRegistry : public SystemRegistry {
 public:
  LONG OpenKey(HKEY key, const char* subKey, REGSAM sam, HKEY* result) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    win::RegKey parent = nullptr;
    if (LONG rc = Native(key, &parent); rc != ERROR_SUCCESS) return rc;
    win::RegKey opened = nullptr;
    const LONG rc = win::RegOpen(parent, subKey ? subKey : "", sam, &opened);
    if (rc == ERROR_SUCCESS) *result = Issue(opened);
    return rc;
  }

  LONG CreateKey(HKEY key, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    win::RegKey parent = nullptr;
    if (LONG rc = Native(key, &parent); rc != ERROR_SUCCESS) return rc;
    win::RegKey created = nullptr;
    DWORD how = 0;
    const LONG rc = win::RegCreate(parent, subKey ? subKey : "", sam, &created, &how);
    if (rc == ERROR_SUCCESS) {
      *result = Issue(created);
      if (disposition) *disposition = how;
    }
    return rc;
  }

  LONG CloseKey(HKEY key) override {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!open_.erase(key)) return ERROR_INVALID_HANDLE;
    }
    return win::RegClose(reinterpret_cast<win::RegKey>(key));
  }

  LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataSize) override {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegQuery(k, name, type, data, dataSize);
  }

  LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD dataSize) override {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegSet(k, name, type, data, dataSize);
  }

  LONG DeleteValue(HKEY key, const char* name) override {
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegRemoveValue(k, name);
  }

  LONG DeleteKey(HKEY key, const char* subKey) override {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegRemoveKey(k, subKey);
  }

  LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameLen) override {
    if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegEnumSubkey(k, index, name, nameLen);
  }

  LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                 DWORD* dataSize) override {
    if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegEnumEntry(k, index, name, nameLen, type, data, dataSize);
  }

  LONG QueryInfo(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values) override {
    win::RegKey k = nullptr;
    if (LONG rc = Native(key, &k); rc != ERROR_SUCCESS) return rc;
    return win::RegInfo(k, subKeys, maxSubKeyLen, values);
  }

 private:
  // The system's key behind a caller's handle.
  LONG Native(HKEY key, win::RegKey* native) {
    if (key == HKEY_LOCAL_MACHINE) {
      *native = win::RegRoot(0);
      return ERROR_SUCCESS;
    }
    if (key == HKEY_CURRENT_USER) {
      *native = win::RegRoot(1);
      return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_.count(key)) return ERROR_INVALID_HANDLE;
    *native = reinterpret_cast<win::RegKey>(key);
    return ERROR_SUCCESS;
  }

  HKEY Issue(win::RegKey native) {
    HKEY handle = reinterpret_cast<HKEY>(native);
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(handle);
    return handle;
  }

  std::mutex mutex_;
  std::set<HKEY> open_;  // the handles this process opened and has not closed
};

}  // namespace

SystemRegistry* TheSystemRegistry() {
  // Never destroyed, like the store's state: other modules' static
  // destructors may still close keys at exit.
  static union Immortal {
    Immortal() : registry() {}
    ~Immortal() {}
    WinSystemRegistry registry;
  } immortal;
  return &immortal.registry;
}

}  // namespace afx
