// The operating system's own registry, where it has one (Windows): the
// registry calls go there instead of to the store file unless a store file
// was chosen (SetRegistryPath, $TALVERN_REGISTRY). Handles it returns are its
// own; the two predefined roots stand for the system's roots.
#pragma once
#include <string>

#include "afx/Registry.h"

namespace afx {

class SystemRegistry {
 public:
  virtual ~SystemRegistry() = default;
  // The Reg* calls, with their Win32 meaning.
  virtual LONG OpenKey(HKEY key, const char* subKey, REGSAM sam, HKEY* result) = 0;
  virtual LONG CreateKey(HKEY key, const char* subKey, REGSAM sam, HKEY* result, DWORD* disposition) = 0;
  virtual LONG CloseKey(HKEY key) = 0;
  virtual LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataSize) = 0;
  virtual LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD dataSize) = 0;
  virtual LONG DeleteValue(HKEY key, const char* name) = 0;
  virtual LONG DeleteKey(HKEY key, const char* subKey) = 0;
  virtual LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameLen) = 0;
  virtual LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                         DWORD* dataSize) = 0;
  virtual LONG QueryInfo(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values) = 0;
};

// The system's registry, or nullptr on a system without one; chosen by the build.
SystemRegistry* TheSystemRegistry();

}  // namespace afx
