// Files on POSIX: descriptors, stat and rename.
#include "afx/File.h"
#include "afx/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <string>
#include <vector>

char CFile::Separator() { return '/'; }

CString CFile::SystemPath(const char* fileName) {
  CString path(fileName ? fileName : "");
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool CFile::IsSameFile(const char* first, const char* second) {
  struct stat a {}, b {};
  return ::stat(SystemPath(first).c_str(), &a) == 0 && ::stat(SystemPath(second).c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

CFile::~CFile() {
  if (fd_ >= 0) ::close(fd_);
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
  if (fd_ >= 0) Close();
  path_ = fileName ? fileName : "";
  int flags = O_CLOEXEC;
  switch (openFlags & 3) {
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  if (openFlags & modeCreate) {
    flags |= O_CREAT;
    if (!(openFlags & modeNoTruncate)) flags |= O_TRUNC;
  }
  const CString sys = SystemPath(fileName);
  fd_ = ::open(sys.c_str(), flags, 0644);
  if (fd_ < 0) {
    const int err = errno;
    if (error) {
      error->m_cause = CFileException::ErrnoToCause(err);
      error->m_lOsError = err;
      error->m_strFileName = path_;
    }
    return FALSE;
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    if (error) {
      error->m_cause = CFileException::accessDenied;
      error->m_lOsError = EISDIR;
      error->m_strFileName = path_;
    }
    return FALSE;
  }
  return TRUE;
}

namespace afx::fd {

long ReadSome(int fd, void* buffer, unsigned count) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, count);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

long WriteSome(int fd, const void* buffer, unsigned count) {
  for (;;) {
    const ssize_t n = ::write(fd, buffer, count);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

int Close(int fd) { return ::close(fd); }

std::int64_t Seek(int fd, std::int64_t offset, int whence) { return ::lseek(fd, offset, whence); }

bool Size(int fd, std::uint64_t* size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

int Sync(int fd) { return ::fsync(fd) != 0 && errno != EINVAL ? -1 : 0; }

}  // namespace afx::fd

namespace {
// No empty, "." or ".." part: normalising would give the same text back.
bool IsAbsoluteAndNormal(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  std::string_view rest(path);
  rest.remove_prefix(1);
  while (!rest.empty()) {
    const size_t cut = rest.find('/');
    const std::string_view part = rest.substr(0, cut);
    if (part.empty() || part == "." || part == "..") return false;
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
    if (rest.empty()) return false;  // a trailing separator
  }
  return true;
}
}  // namespace

BOOL CFile::GetStatus(const char* fileName, CFileStatus& status) {
  const CString sys = SystemPath(fileName);
  struct stat st {};
  if (::stat(sys.c_str(), &st) != 0) return FALSE;
  status.m_ctime = st.st_ctime;
  status.m_atime = st.st_atime;
  status.m_mtime = st.st_mtime;
  status.m_size = static_cast<std::uint64_t>(st.st_size);
  status.m_attribute = static_cast<BYTE>((S_ISDIR(st.st_mode) ? 0x10 : 0) | ((st.st_mode & S_IWUSR) ? 0 : 0x01));
  // Made absolute from the name alone: following links would cost a look-up
  // per folder of the path, and catalogue scans ask for thousands of files.
  // Most names are absolute and normal already; they are their own full name.
  std::string full = sys;
  if (!IsAbsoluteAndNormal(sys)) {
    std::error_code ec;
    full = std::filesystem::absolute(sys.c_str(), ec).lexically_normal().string();
    if (ec) full = sys;
  }
  std::strncpy(status.m_szFullName, full.c_str(), sizeof status.m_szFullName - 1);
  status.m_szFullName[sizeof status.m_szFullName - 1] = '\0';
  return TRUE;
}

void CFile::Remove(const char* fileName) {
  const CString sys = SystemPath(fileName);
  if (::unlink(sys.c_str()) != 0)
    throw CFileException(CFileException::ErrnoToCause(errno), errno, fileName);
}

void CFile::Rename(const char* oldName, const char* newName) {
  if (::rename(SystemPath(oldName).c_str(), SystemPath(newName).c_str()) != 0)
    throw CFileException(CFileException::ErrnoToCause(errno), errno, oldName);
}

BOOL CopyFile(const char* existing, const char* newName, BOOL failIfExists) {
  const CString from = CFile::SystemPath(existing);
  const CString to = CFile::SystemPath(newName);
  if (CFile::IsSameFile(from.c_str(), to.c_str())) {
    errno = EINVAL;
    return FALSE;
  }
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FALSE;
  struct stat source {};
  // Beside the target, so that the rename stays within one file system.
  std::string temporary = std::string(to) + ".XXXXXX";
  const int out = ::fstat(in, &source) == 0 ? ::mkostemp(temporary.data(), O_CLOEXEC) : -1;
  if (out < 0) {
    const int err = errno;
    ::close(in);
    errno = err;
    return FALSE;
  }
  bool ok = afx::fd::CopyAll(in, out) && ::fchmod(out, source.st_mode & 0777) == 0 && ::fsync(out) == 0;
  int err = errno;
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok) {
    // link() refuses an existing target, rename() replaces it in one step.
    ok = failIfExists ? ::link(temporary.c_str(), to.c_str()) == 0 : ::rename(temporary.c_str(), to.c_str()) == 0;
    if (!ok) err = errno;
  }
  if (!ok || failIfExists) ::unlink(temporary.c_str());
  errno = err;
  return ok ? TRUE : FALSE;
}

BOOL DeleteFile(const char* fileName) { return ::unlink(CFile::SystemPath(fileName).c_str()) == 0; }

DWORD GetFileAttributes(const char* fileName) {
  struct stat st {};
  if (::stat(CFile::SystemPath(fileName).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x80;
}

// The one place that turns errno into the framework's cause codes.
int CFileException::ErrnoToCause(int err) {
  switch (err) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case EBUSY: return sharingViolation;
    case EAGAIN: return lockViolation;
    case ENOSPC:
    case EDQUOT: return diskFull;
    case ESPIPE:
    case EINVAL: return badSeek;
    case EIO: return hardIO;
    default: return genericException;
  }
}
