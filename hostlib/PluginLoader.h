// Loads a device plug-in and resolves its ten exports.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "afx/Library.h"
#include "afx/Module.h"
#include "plugin/Exports.h"

class PluginLoader {
 public:
  PluginLoader() = default;
  ~PluginLoader();
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

  // Loads `path`; false with Error() set when it cannot be loaded, lacks an
  // export, or its start-up failed.
  bool Load(const std::string& path);
  void Unload();
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }
  // The plug-in's dialog templates (from its module state); nullptr when unknown.
  const std::vector<DialogTemplate>* Templates() const { return module_ ? module_->dialogs : nullptr; }
  // The bitmap that GetBitmapID names, from the plug-in's resources; nullptr when it has none.
  const BitmapResource* Bitmap() const;

  PFN_GetNumberOperations GetNumberOperations = nullptr;
  PFN_GetOperation GetOperation = nullptr;
  PFN_GetDescription GetDescription = nullptr;
  PFN_GetNumberOfPages GetNumberOfPages = nullptr;
  PFN_GetPage GetPage = nullptr;
  PFN_GetText GetText = nullptr;
  PFN_DoOperation DoOperation = nullptr;
  PFN_PreInitialize PreInitialize = nullptr;
  PFN_GetVersionInfo GetVersionInfo = nullptr;
  PFN_GetBitmapID GetBitmapID = nullptr;

  // The default plug-in: DevQZ710.so (DevQZ710.dll) beside the running program, then in the
  // install's lib/talvern/ (or lib/) folder.
  static std::string DefaultPath();

 private:
  std::unique_ptr<afx::Library> library_;
  AFX_MODULE_STATE* module_ = nullptr;
  std::string path_;
  std::string error_;
};
