// Opens a firmware file with the class its extension names, falling back to
// the ELF and S-record readers for anything else.
#pragma once
#include <memory>

#include "firmware/LSFlashFile.h"

class CGarnexFlashFileMgr {
 public:
  // Opens `path`; throws the CLSFlashFileException of the last reader tried.
  explicit CGarnexFlashFileMgr(const char* path);
  virtual ~CGarnexFlashFileMgr();
  CGarnexFlashFileMgr(const CGarnexFlashFileMgr&) = delete;
  CGarnexFlashFileMgr& operator=(const CGarnexFlashFileMgr&) = delete;

  CLSFlashFile* GetFile() const { return file_.get(); }
  // True for the image-container formats (".img", ".timg").
  bool IsContainer() const { return container_; }

 private:
  std::unique_ptr<CLSFlashFile> file_;
  bool container_ = false;
};
