#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

#include "afx/Library.h"
#include "afx/win/WinCalls.h"

namespace afx {

std::string ModuleFileOf(const void* address) {
  HMODULE module = nullptr;
  if (!address || !::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<const char*>(address), &module))
    return "";
  char path[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameA(module, path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

bool ReadVersionResource(const std::string& path, std::map<std::string, std::string>* strings) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  // A version resource names no list of its strings: ask for the usual ones.
  static const char* const kNames[] = {"Comments",         "CompanyName",     "FileDescription",
                                       "FileVersion",      "InternalName",    "LegalCopyright",
                                       "OriginalFilename", "ProductName",     "ProductVersion"};
  std::map<std::string, std::string> found;
  for (const char* name : kNames) {
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value)
      found[name] = std::string(value, length > 0 && value[length - 1] == '\0' ? length - 1 : length);
  }
  if (found.empty()) return false;
  *strings = std::move(found);
  return true;
}

std::unique_ptr<Library> Library::Load(const std::string& path, std::string* error) {
  // No box from the system when the file or a DLL it needs is missing.
  const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = ::GetLastError();
  ::SetErrorMode(previous);
  if (!module) {
    if (error) *error = path + ": " + win::SystemMessage(code);
    return nullptr;
  }
  return std::unique_ptr<Library>(new Library(module));
}

Library::~Library() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* Library::Symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace afx
