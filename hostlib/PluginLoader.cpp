#include "hostlib/PluginLoader.h"

#include <type_traits>

#include "afx/File.h"
#include "afx/Module.h"
#include "afx/System.h"

PluginLoader::~PluginLoader() { Unload(); }

std::string PluginLoader::DefaultPath() {
  const std::string self = afx::ExecutablePath();
  if (self.empty()) return QZ_PLUGIN_FILE;
  const std::string dir = self.substr(0, self.find_last_of("/\\"));
  const std::string beside = dir + "/" QZ_PLUGIN_FILE;
  if (GetFileAttributes(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return beside;
  // Installed: the program in bin/, its libraries in lib/talvern/.
  for (const char* lib : {"/../lib/talvern/" QZ_PLUGIN_FILE, "/../lib/" QZ_PLUGIN_FILE})
    if (GetFileAttributes((dir + lib).c_str()) != INVALID_FILE_ATTRIBUTES) return dir + lib;
  return beside;
}

bool PluginLoader::Load(const std::string& path) {
  Unload();
  path_ = path;
  // A path without a slash would be searched for in the library path; the
  // user meant the file.
  const std::string open = path.find_first_of("/\\") == std::string::npos ? "./" + path : path;
  std::string reason;
  library_ = afx::Library::Load(open, &reason);
  if (!library_) {
    error_ = "cannot load the plug-in " + path + ": " + reason;
    return false;
  }
  AFX_MODULE_STATE* state = afx::LastAttachedModule();
  if (state && state->initFailed) {
    error_ = "the plug-in " + path + " failed to initialise (out of memory while building its operation list)";
    Unload();
    return false;
  }
  bool ok = true;
  auto resolve = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library_->Symbol(name));
    if (!fn) {
      ok = false;
      error_ += std::string(error_.empty() ? "" : ", ") + name;
    }
  };
  resolve(GetNumberOperations, "GetNumberOperations");
  resolve(GetOperation, "GetOperation");
  resolve(GetDescription, "GetDescription");
  resolve(GetNumberOfPages, "GetNumberOfPages");
  resolve(GetPage, "GetPage");
  resolve(GetText, "GetText");
  resolve(DoOperation, "DoOperation");
  resolve(PreInitialize, "PreInitialize");
  resolve(GetVersionInfo, "GetVersionInfo");
  resolve(GetBitmapID, "GetBitmapID");
  if (!ok) {
    error_ = path + " is not a device plug-in: it lacks " + error_;
    Unload();
    return false;
  }
  module_ = state;
  return true;
}

void PluginLoader::Unload() {
  library_.reset();
  module_ = nullptr;
}

const BitmapResource* PluginLoader::Bitmap() const {
  if (!module_ || !module_->bitmap || !GetBitmapID) return nullptr;
  AFX_MANAGE_STATE(module_);
  return module_->bitmap(static_cast<UINT>(GetBitmapID()));
}
