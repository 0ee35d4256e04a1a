#include "afx/RegistryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "afx/RegFileLock.h"
#include "afx/RegReader.h"
#include "afx/RegistryLock.h"
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

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

RegistryStore::Version VersionOf(const struct stat& st) {
  RegistryStore::Version v;
  v.missing = false;
  v.device = st.st_dev;
  v.inode = st.st_ino;
  v.size = st.st_size;
  v.modified = st.st_mtim;
  v.changed = st.st_ctim;
  return v;
}

// The identity of the file at `path` now; false when it cannot be had.
bool CurrentVersion(const std::string& path, RegistryStore::Version& version) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    version = VersionOf(st);
    return true;
  }
  if (errno != ENOENT) return false;
  version = RegistryStore::Version{};
  return true;
}

// Whether the clock the file system stamps files with has moved past the
// version's times: only then must any later change carry different times.
// Before that, a change in the same tick would look like the same version.
bool Settled(const RegistryStore::Version& version) {
  if (version.missing) return true;
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
  return Later(now, version.modified) && Later(now, version.changed);
}

// The temp file a writer with process id `pid` saves through.
std::string TempName(const std::string& path, pid_t pid) { return path + ".tmp" + std::to_string(pid); }

// A writer killed between creating its temp file and renaming it leaves the
// file behind, and nothing else would ever remove it. Called under the lock,
// so a live writer of this store is never inside its save; the temp files of
// processes that still exist are left alone all the same, since a process
// keeps its id until it is gone.
void RemoveStaleTemps(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = std::filesystem::path(path).filename().string() + ".tmp";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlink((folder + "/" + name).c_str());
  }
  ::closedir(dir);
}

}  // namespace

bool RegistryStore::Version::operator==(const Version& other) const {
  if (missing || other.missing) return missing == other.missing;
  return device == other.device && inode == other.inode && size == other.size &&
         SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

LONG RegistryStore::ReadFile(const std::string& path, std::string& text, bool& missing,
                             std::string& error, Version* version) {
  text.clear();
  missing = false;
  if (version) *version = Version{};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      missing = true;
      return ERROR_SUCCESS;
    }
    error = Describe(path, errno);
    return ERROR_CANTREAD;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    error = Describe(path, err);
    return ERROR_CANTREAD;
  }
  if (version) *version = VersionOf(st);
  if (st.st_size > 0) text.reserve(static_cast<size_t>(st.st_size));
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
  std::string temp = TempName(path, ::getpid());
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    int err = errno;
    error = Describe(temp, err);
    return FromErrno(err);
  }
  struct stat old {};
  const bool replacing = ::stat(path.c_str(), &old) == 0;
  if (replacing) ::fchmod(fd, old.st_mode & 07777);
  bool ok = WriteAll(fd, text);
  struct stat written {};
  if (ok && replacing && ::fstat(fd, &written) == 0 && !Later(written.st_mtim, old.st_mtim)) {
    // The clock has not ticked since the old version was saved.
    timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
    if (++times[1].tv_nsec == 1000000000) {
      times[1].tv_nsec = 0;
      ++times[1].tv_sec;
    }
    ::futimens(fd, times);
  }
  ok = ok && ::fsync(fd) == 0;
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

void RegistryStore::Touch() { ++generation_; }

LONG RegistryStore::Refresh(std::string& error) {
  Version now;
  if (!(loaded_ && settled_ && CurrentVersion(path_, now) && now == version_)) {
    std::string text;
    bool missing = false;
    LONG rc = ReadFile(path_, text, missing, error, &now);
    if (rc != ERROR_SUCCESS) {
      loaded_ = false;
      return rc;
    }
    version_ = now;
    settled_ = Settled(version_);
    if (!loaded_ || text != text_) {
      RegHive fresh;
      parseError_.clear();
      if (!IsBlank(text)) RegReader::Apply(text, path_, fresh, parseError_);
      hive_ = std::move(fresh);
      Touch();
      text_ = std::move(text);
      loaded_ = true;
    }
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
  // A change made under this thread's RegistryLock is part of its step.
  const int err = RegistryLock::HeldFor(path_) ? 0 : lock.Acquire(lockPath, true);
  if (err) {
    error = Describe(lockPath, err);
    return FromErrno(err);
  }
  RemoveStaleTemps(path_);
  LONG rc = Refresh(error);
  if (rc != ERROR_SUCCESS) return rc;
  bool changed = false;
  Touch();
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
  // Under the lock the file is the one just saved; without its identity the
  // next read would fetch it again, which costs time but nothing else.
  if (!CurrentVersion(path_, version_)) loaded_ = false;
  settled_ = Settled(version_);
  return ERROR_SUCCESS;
}

}  // namespace afx
