// The registry, Win32-shaped. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER live in
// one text file in the Windows .reg export format (REGEDIT4 / "Windows Registry
// Editor Version 5.00"), so that it stays readable, diffable and importable.
//
// Every change is a read-modify-write of the file under an exclusive advisory
// lock, saved atomically (temp file, fsync, rename, fsync of the folder), so
// two processes never lose each other's writes. Opening a key below a root
// re-reads the file when it changed. A file that does not parse is never
// overwritten: calls fail with ERROR_BADDB and RegistryLastError() names the
// line and what was wrong.
#pragma once
#include <string>

#include "afx/WinTypes.h"

using REGSAM = DWORD;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

namespace afx {
HKEY PredefinedKey(std::uintptr_t which);
// Path of the store file; set by the host (or a test) before first use.
// Default: $TALVERN_REGISTRY, else $XDG_CONFIG_HOME/talvern/registry.reg,
// else ~/.config/talvern/registry.reg (%APPDATA%\talvern\registry.reg on
// Windows). On Windows the system's registry is the store unless a store
// file is set here or in $TALVERN_REGISTRY.
void SetRegistryPath(const std::string& path);
std::string GetRegistryPath();
std::string DefaultRegistryPath();
// Where the registry lives, for messages: the store file, or the system's registry.
std::string RegistryLocation();
// Whether the store holds anything yet: its file exists, or, when the
// system's registry is the store, the key `keyPath` ("HKEY_LOCAL_MACHINE\\...") does.
bool RegistryStoreExists(const std::string& keyPath);
// The text of the last store failure in this thread ("registry.reg line 12: ..."), or "".
std::string RegistryLastError();
// Imports a .reg file into the store (merging, as regedit does). ERROR_SUCCESS or an error.
LONG RegistryImport(const std::string& regFile);
// Exports `keyPath` ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...") and everything below it.
LONG RegistryExport(const std::string& keyPath, const std::string& regFile);
// Opens a key named by its full path ("HKEY_LOCAL_MACHINE\\..." or "HKLM\\...").
LONG RegOpenKeyPath(const std::string& fullPath, REGSAM sam, HKEY* result, bool create);
}  // namespace afx

#define HKEY_CURRENT_USER (::afx::PredefinedKey(0x80000001u))
#define HKEY_LOCAL_MACHINE (::afx::PredefinedKey(0x80000002u))

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result);
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                    REGSAM sam, void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// *dataSize in: room in `data`; out: bytes stored (REG_SZ includes the NUL).
// ERROR_MORE_DATA when `data` is too small; data may be null to ask the size.
LONG RegQueryValueEx(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* dataSize);
LONG RegSetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD dataSize);
LONG RegDeleteValue(HKEY key, const char* name);
// Deletes a key that has no subkeys (Win32 rule); ERROR_ACCESS_DENIED otherwise.
LONG RegDeleteKey(HKEY key, const char* subKey);
// Enumerates subkeys by index in the store's order; ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* reserved,
                  char* className, DWORD* classLen, void* lastWrite);
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* dataSize);
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values);
