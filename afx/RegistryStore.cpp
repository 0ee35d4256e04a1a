#include "afx/RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "afx/RegFileLock.h"
#include "afx/RegReader.h"
#include "afx/RegWriter.h"

namespace afx {
namespace {

LONG FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    default:
      return ERROR_CANTWRITE;
  }
}

std::string Describe(const std::string& path, int err) {
  return path + ": " + std::strerror(err);
}

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

LONG RegistryStore::ReadFile(const std::string& path, std::string& text, bool& missing,
                             std::string& error) {
  text.clear();
  missing = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      missing = true;
      return ERROR_SUCCESS;
    }
    error = Describe(path, errno);
    return ERROR_CANTREAD;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      error = Describe(path, err);
      return ERROR_CANTREAD;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ERROR_SUCCESS;
}

LONG RegistryStore::WriteFileAtomically(const std::string& path, const std::string& text,
                                        std::string& error) {
  // Writers of one store are serialised by the lock, so the pid is enough to
  // keep a temp name apart from other processes' leftovers.
  std::string temp = path + ".tmp" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int err = errno;
    error = Describe(temp, err);
    return FromErrno(err);
  }
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = Describe(path, err);
    return FromErrno(err);
  }
  // The rename is durable only once the folder's entry is.
  std::string folder = FolderOf(path);
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return ERROR_SUCCESS;
}

LONG RegistryStore::Refresh(std::string& error) {
  std::string text;
  bool missing = false;
  LONG rc = ReadFile(path_, text, missing, error);
  if (rc != ERROR_SUCCESS) {
    loaded_ = false;
    return rc;
  }
  if (!loaded_ || text != text_) {
    RegHive fresh;
    parseError_.clear();
    if (!IsBlank(text)) RegReader::Apply(text, path_, fresh, parseError_);
    hive_ = std::move(fresh);
    text_ = std::move(text);
    loaded_ = true;
  }
  if (!parseError_.empty()) {
    error = parseError_;
    return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

LONG RegistryStore::Modify(const Change& change, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(FolderOf(path_), ec);
  if (ec) {
    error = FolderOf(path_) + ": " + ec.message();
    return FromErrno(ec.value());
  }
  RegFileLock lock;
  std::string lockPath = path_ + ".lock";
  if (int err = lock.Acquire(lockPath, true)) {
    error = Describe(lockPath, err);
    return FromErrno(err);
  }
  LONG rc = Refresh(error);
  if (rc != ERROR_SUCCESS) return rc;
  bool changed = false;
  rc = change(hive_, changed);
  if (rc != ERROR_SUCCESS || !changed) {
    // The change may have been half applied; read the file again next time.
    if (rc != ERROR_SUCCESS) loaded_ = false;
    return rc;
  }
  std::string text = RegWriter::WriteHive(hive_);
  rc = WriteFileAtomically(path_, text, error);
  if (rc != ERROR_SUCCESS) {
    loaded_ = false;
    return rc;
  }
  text_ = std::move(text);
  return ERROR_SUCCESS;
}

}  // namespace afx
