#include "afx/File.h"

#include <cstring>

CString CFile::JoinPath(const char* folder, const char* name) {
  const char separator = Separator();
  CString path = SystemPath(folder);
  while (path.size() > 1 && path.back() == separator) path.pop_back();
  if (!path.empty() && path.back() != separator) path += separator;
  return path + SystemPath(name);
}

CFile::CFile(const char* fileName, UINT openFlags) {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) throw error;
}

void CFile::ThrowErrno(int err) const { throw CFileException(CFileException::ErrnoToCause(err), err, path_.c_str()); }

CString CFile::GetFileName() const {
  const CString sys = SystemPath(path_);
  const size_t slash = sys.find_last_of("/\\");
  return slash == CString::npos ? sys : CString(sys.substr(slash + 1));
}

CStdioFile::CStdioFile(const char* fileName, UINT openFlags) : CFile() {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) throw error;
}

BOOL CStdioFile::ReadString(CString& line) {
  line.clear();
  char c = 0;
  bool any = false;
  while (Read(&c, 1) == 1) {
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any ? TRUE : FALSE;
}

void CStdioFile::WriteString(const char* text) {
  if (text) Write(text, static_cast<UINT>(std::strlen(text)));
}

