#include "firmware/GarnexFlashFileMgr.h"

#include "firmware/BlueToothFile.h"
#include "firmware/GarnexElfFile.h"
#include "firmware/GarnexSRecFile.h"
#include "firmware/HopsaFile.h"
#include "firmware/LSFlashFileException.h"
#include "firmware/QMRBladeFWFile.h"
#include "firmware/TICBSLFile.h"
#include "firmware/TimgFile.h"

namespace {

// The extension with its dot, lower-cased; "" when the name has none.
CString ExtensionOf(const char* path) {
  const CString p = path ? path : "";
  const size_t slash = p.find_last_of("/\\");
  const size_t dot = p.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  CString ext = p.substr(dot);
  ext.MakeLower();
  return ext;
}

// Constructs a File; a refusal with 865 (not this format) gives null so that
// the next reader is tried, any other failure is thrown on.
template <typename File>
std::unique_ptr<CLSFlashFile> TryOpen(const char* path) {
  try {
    return std::make_unique<File>(path);
  } catch (const CLSFlashFileException& e) {
    if (e.GetCode() != 865) throw;
    return nullptr;
  }
}

}  // namespace

CGarnexFlashFileMgr::CGarnexFlashFileMgr(const char* path) {
  const CString ext = ExtensionOf(path);
  if (ext == ".img") {
    file_ = TryOpen<CHopsaFile>(path);
    container_ = file_ != nullptr;
  } else if (ext == ".timg") {
    file_ = TryOpen<CTimgFile>(path);
    container_ = file_ != nullptr;
  } else if (ext == ".axf") {
    file_ = TryOpen<CBlueToothFile>(path);
  } else if (ext == ".tix") {
    file_ = TryOpen<CTICBSLFile>(path);
  } else if (ext == ".bin") {
    file_ = TryOpen<CQMRBladeFWFile>(path);
  }
  if (!file_) file_ = TryOpen<CGarnexElfFile>(path);
  // The last candidate's failure, 865 included, is the caller's answer.
  if (!file_) file_ = std::make_unique<CGarnexSRecFile>(path);
}

CGarnexFlashFileMgr::~CGarnexFlashFileMgr() = default;
