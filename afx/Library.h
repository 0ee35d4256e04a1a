// Loaded modules: the file a module was loaded from, its version resource,
// and libraries loaded at run time (dlopen, LoadLibrary). Standard types
// only, so that each system's backend includes its own headers beside it.
#pragma once
#include <map>
#include <memory>
#include <string>

namespace afx {

// The file of the loaded module (library or program) that holds `address`;
// "" when the system cannot tell.
std::string ModuleFileOf(const void* address);

// The strings of the version resource of the module file at `path` (its
// "\StringFileInfo\040904B0" block); false when it has none. Systems whose
// libraries carry no version resource always answer false.
bool ReadVersionResource(const std::string& path, std::map<std::string, std::string>* strings);

class Library {
 public:
  // Loads `path`, resolving all its symbols now; nullptr with *error set
  // to the system's reason on failure.
  static std::unique_ptr<Library> Load(const std::string& path, std::string* error);
  // Unloads the library.
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The address of the exported symbol `name`, or nullptr.
  void* Symbol(const char* name) const;

 private:
  explicit Library(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace afx
