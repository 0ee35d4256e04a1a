#include "afx/FileDialog.h"

#include "afx/Ui.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD,
                         const char* filter, CWnd* parent)
    : CDialog(0, parent),
      open_(openFileDialog != FALSE),
      defaultExt_(defaultExt ? defaultExt : ""),
      initialName_(fileName ? fileName : ""),
      filter_(filter ? filter : "") {}

INT_PTR CFileDialog::DoModal() {
  path_.clear();
  extendedError_ = 0;
  const INT_PTR result = afx::GetUi().RunFileDialog(*this);
  if (result == IDOK && !defaultExt_.empty()) {
    const size_t slash = path_.find_last_of("/\\");
    const size_t dot = path_.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path_ += "." + defaultExt_;
  }
  return result;
}

CString CFileDialog::GetFileName() const {
  const size_t slash = path_.find_last_of("/\\");
  return slash == std::string::npos ? CString(path_) : CString(path_.substr(slash + 1));
}

CString CFileDialog::GetFileExt() const {
  const CString name = GetFileName();
  const int dot = name.ReverseFind('.');
  return dot < 0 ? CString() : name.Mid(dot + 1);
}
