// The chooser of a file to open or save.
#pragma once
#include <string>

#include "afx/Dialog.h"

// Chooses a file to open or save.
class CFileDialog : public CDialog {
 public:
  CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
              DWORD flags = 0, const char* filter = nullptr, CWnd* parent = nullptr);
  INT_PTR DoModal() override;
  CString GetPathName() const { return path_; }
  CString GetFileName() const;
  CString GetFileExt() const;
  // For presenters.
  void SetPathName(const std::string& path) { path_ = path; }
  bool IsOpenDialog() const { return open_; }
  const std::string& DefaultExt() const { return defaultExt_; }
  const std::string& Filter() const { return filter_; }
  const std::string& InitialName() const { return initialName_; }
  // The folder the chooser starts in (lpstrInitialDir); used when the initial name is empty.
  void SetInitialName(const std::string& name) { initialName_ = name; }
  void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
  const std::string& InitialDir() const { return initialDir_; }
  // Why the last DoModal ended without a file (CommDlgExtendedError); 0 for an
  // ordinary cancel. Presenters set FNERR_INVALIDFILENAME when they refuse the initial name.
  DWORD GetExtendedError() const { return extendedError_; }
  void SetExtendedError(DWORD error) { extendedError_ = error; }

 private:
  bool open_;
  std::string defaultExt_;
  std::string initialName_;
  std::string initialDir_;
  DWORD extendedError_ = 0;
  std::string filter_;
  std::string path_;
};

constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD FNERR_INVALIDFILENAME = 0x3002;
