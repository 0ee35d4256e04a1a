#include <dlfcn.h>

#include "afx/Library.h"

namespace afx {

std::string ModuleFileOf(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_fname) return "";
  return info.dli_fname;
}

bool ReadVersionResource(const std::string&, std::map<std::string, std::string>*) { return false; }

std::unique_ptr<Library> Library::Load(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = ::dlerror();
    if (error) *error = e ? e : "dlopen failed";
    return nullptr;
  }
  return std::unique_ptr<Library>(new Library(handle));
}

Library::~Library() { ::dlclose(handle_); }

void* Library::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace afx
