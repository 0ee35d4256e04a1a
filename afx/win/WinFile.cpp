// Files on Windows: the C runtime's descriptors in binary mode, and the
// system's own calls where the runtime has none (file identity, a rename
// that replaces its target in one step).
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "afx/File.h"
#include "afx/FileDescriptor.h"
#include "afx/win/WinCalls.h"

namespace {

bool IsDirectory(unsigned short mode) { return (mode & _S_IFMT) == _S_IFDIR; }

}  // namespace

char CFile::Separator() { return '\\'; }

CString CFile::SystemPath(const char* fileName) {
  CString path(fileName ? fileName : "");
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool CFile::IsSameFile(const char* first, const char* second) {
  afx::win::FileIdentity a, b;
  int err = 0;
  return afx::win::IdentifyFile(SystemPath(first), &a, &err) && afx::win::IdentifyFile(SystemPath(second), &b, &err) &&
         a.volume == b.volume && a.index == b.index;
}

CFile::~CFile() {
  if (fd_ >= 0) ::_close(fd_);
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
  if (fd_ >= 0) Close();
  path_ = fileName ? fileName : "";
  int flags = _O_BINARY | _O_NOINHERIT;
  switch (openFlags & 3) {
    case modeWrite: flags |= _O_WRONLY; break;
    case modeReadWrite: flags |= _O_RDWR; break;
    default: flags |= _O_RDONLY; break;
  }
  if (openFlags & modeCreate) {
    flags |= _O_CREAT;
    if (!(openFlags & modeNoTruncate)) flags |= _O_TRUNC;
  }
  const CString sys = SystemPath(fileName);
  int err = ::_sopen_s(&fd_, sys.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (err == 0) {
    struct _stat64 st {};
    if (::_fstat64(fd_, &st) == 0 && IsDirectory(st.st_mode)) err = EISDIR;
  }
  if (err != 0) {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
    if (error) {
      error->m_cause = err == EISDIR ? CFileException::accessDenied : CFileException::ErrnoToCause(err);
      error->m_lOsError = err;
      error->m_strFileName = path_;
    }
    return FALSE;
  }
  return TRUE;
}

namespace afx::fd {

long ReadSome(int fd, void* buffer, unsigned count) { return ::_read(fd, buffer, count); }

long WriteSome(int fd, const void* buffer, unsigned count) { return ::_write(fd, buffer, count); }

int Close(int fd) { return ::_close(fd); }

std::int64_t Seek(int fd, std::int64_t offset, int whence) { return ::_lseeki64(fd, offset, whence); }

bool Size(int fd, std::uint64_t* size) {
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

int Sync(int fd) { return ::_commit(fd) != 0 && errno != EBADF ? -1 : 0; }

}  // namespace afx::fd

BOOL CFile::GetStatus(const char* fileName, CFileStatus& status) {
  const CString sys = SystemPath(fileName);
  std::error_code ec;
  std::string full = std::filesystem::absolute(sys.c_str(), ec).lexically_normal().string();
  if (ec) full = sys;
  // The runtime's stat takes no doubled or trailing separators.
  struct _stat64 st {};
  if (::_stat64(full.c_str(), &st) != 0) return FALSE;
  status.m_ctime = st.st_ctime;
  status.m_atime = st.st_atime;
  status.m_mtime = st.st_mtime;
  status.m_size = static_cast<std::uint64_t>(st.st_size);
  status.m_attribute = static_cast<BYTE>((IsDirectory(st.st_mode) ? 0x10 : 0) | ((st.st_mode & _S_IWRITE) ? 0 : 0x01));
  std::strncpy(status.m_szFullName, full.c_str(), sizeof status.m_szFullName - 1);
  status.m_szFullName[sizeof status.m_szFullName - 1] = '\0';
  return TRUE;
}

void CFile::Remove(const char* fileName) {
  if (::_unlink(SystemPath(fileName).c_str()) != 0)
    throw CFileException(CFileException::ErrnoToCause(errno), errno, fileName);
}

void CFile::Rename(const char* oldName, const char* newName) {
  int err = 0;
  if (!afx::win::MoveFileOver(SystemPath(oldName), SystemPath(newName), false, &err))
    throw CFileException(CFileException::ErrnoToCause(err), err, oldName);
}

BOOL CopyFile(const char* existing, const char* newName, BOOL failIfExists) {
  const CString from = CFile::SystemPath(existing);
  const CString to = CFile::SystemPath(newName);
  if (CFile::IsSameFile(from.c_str(), to.c_str())) {
    errno = EINVAL;
    return FALSE;
  }
  int in = -1;
  if (::_sopen_s(&in, from.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYWR, 0) != 0) return FALSE;
  // Beside the target, so that the rename stays within one volume.
  const std::string temporary = std::string(to) + ".copy" + std::to_string(::_getpid());
  int out = -1;
  const int opened = ::_sopen_s(&out, temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                                _SH_DENYRW, _S_IREAD | _S_IWRITE);
  if (opened != 0) {
    ::_close(in);
    errno = opened;
    return FALSE;
  }
  bool ok = afx::fd::CopyAll(in, out) && ::_commit(out) == 0;
  int err = errno;
  ::_close(in);
  if (::_close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && !afx::win::MoveFileOver(temporary, to, failIfExists != FALSE, &err)) ok = false;
  if (!ok) ::_unlink(temporary.c_str());
  errno = err;
  return ok ? TRUE : FALSE;
}

BOOL DeleteFile(const char* fileName) { return ::_unlink(CFile::SystemPath(fileName).c_str()) == 0; }

DWORD GetFileAttributes(const char* fileName) {
  struct _stat64 st {};
  if (::_stat64(CFile::SystemPath(fileName).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  return IsDirectory(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x80;
}

// The one place that turns errno (as the runtime sets it from the system's
// codes) into the framework's cause codes.
int CFileException::ErrnoToCause(int err) {
  switch (err) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case EBUSY: return sharingViolation;
    case EAGAIN: return lockViolation;
    case ENOSPC: return diskFull;
    case ESPIPE:
    case EINVAL: return badSeek;
    case EIO: return hardIO;
    default: return genericException;
  }
}
