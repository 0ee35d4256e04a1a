#include "afx/File.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "afx/FileDescriptor.h"

namespace afx::fd {

bool CopyAll(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const long n = ReadSome(in, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (n <= 0) return n == 0;
    for (long done = 0; done < n;) {
      const long w = WriteSome(out, buffer.data() + done, static_cast<unsigned>(n - done));
      if (w < 0) return false;
      done += w;
    }
  }
}

}  // namespace afx::fd

void CFile::Close() {
  if (fd_ < 0) return;
  const int rc = afx::fd::Close(fd_);
  fd_ = -1;
  if (rc != 0) ThrowErrno(errno);
}

void CFile::Abort() {
  if (fd_ >= 0) afx::fd::Close(fd_);
  fd_ = -1;
}

UINT CFile::Read(void* buffer, UINT count) {
  if (fd_ < 0) throw CFileException(CFileException::invalidFile, EBADF, path_.c_str());
  auto* out = static_cast<char*>(buffer);
  UINT total = 0;
  while (total < count) {
    const long n = afx::fd::ReadSome(fd_, out + total, count - total);
    if (n < 0) ThrowErrno(errno);
    if (n == 0) break;
    total += static_cast<UINT>(n);
  }
  return total;
}

void CFile::Write(const void* buffer, UINT count) {
  if (fd_ < 0) throw CFileException(CFileException::invalidFile, EBADF, path_.c_str());
  const auto* in = static_cast<const char*>(buffer);
  UINT total = 0;
  while (total < count) {
    const long n = afx::fd::WriteSome(fd_, in + total, count - total);
    if (n < 0) ThrowErrno(errno);
    total += static_cast<UINT>(n);
  }
}

std::uint64_t CFile::Seek(std::int64_t offset, UINT from) {
  if (fd_ < 0) throw CFileException(CFileException::invalidFile, EBADF, path_.c_str());
  const int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
  const std::int64_t pos = afx::fd::Seek(fd_, offset, whence);
  if (pos < 0) throw CFileException(CFileException::badSeek, errno, path_.c_str());
  return static_cast<std::uint64_t>(pos);
}

std::uint64_t CFile::GetLength() const {
  std::uint64_t size = 0;
  if (fd_ < 0 || !afx::fd::Size(fd_, &size)) ThrowErrno(fd_ < 0 ? EBADF : errno);
  return size;
}

std::uint64_t CFile::GetPosition() const {
  const std::int64_t pos = fd_ < 0 ? -1 : afx::fd::Seek(fd_, 0, SEEK_CUR);
  if (pos < 0) ThrowErrno(fd_ < 0 ? EBADF : errno);
  return static_cast<std::uint64_t>(pos);
}

void CFile::Flush() {
  if (fd_ >= 0 && afx::fd::Sync(fd_) != 0) ThrowErrno(errno);
}

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

