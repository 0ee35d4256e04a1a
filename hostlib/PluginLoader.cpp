#include "hostlib/PluginLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <type_traits>

#include "afx/File.h"
#include "afx/Module.h"

PluginLoader::~PluginLoader() { Unload(); }

std::string PluginLoader::DefaultPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "DevQZ710.so";
  self[n] = '\0';
  std::string dir(self);
  dir = dir.substr(0, dir.find_last_of('/'));
  const std::string beside = dir + "/DevQZ710.so";
  if (GetFileAttributes(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return beside;
  // Installed: the program in bin/, its libraries in lib/talvern/.
  for (const char* lib : {"/../lib/talvern/DevQZ710.so", "/../lib/DevQZ710.so"})
    if (GetFileAttributes((dir + lib).c_str()) != INVALID_FILE_ATTRIBUTES) return dir + lib;
  return beside;
}

bool PluginLoader::Load(const std::string& path) {
  Unload();
  path_ = path;
  // A path without a slash would be searched for in the library path; the
  // user meant the file.
  const std::string open = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(open.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = ::dlerror();
    error_ = "cannot load the plug-in " + path + ": " + (e ? e : "unknown error");
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
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(handle_, name));
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
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  module_ = nullptr;
}

const BitmapResource* PluginLoader::Bitmap() const {
  if (!module_ || !module_->bitmap || !GetBitmapID) return nullptr;
  AFX_MANAGE_STATE(module_);
  return module_->bitmap(static_cast<UINT>(GetBitmapID()));
}
