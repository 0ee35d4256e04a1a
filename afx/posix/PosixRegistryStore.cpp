// The store file on POSIX: stat identities, fsync and rename, flock.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "afx/RegistryStore.h"

namespace afx {
namespace {

std::int64_t Ns(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

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

RegistryStore::Version VersionOf(const struct stat& st) {
  RegistryStore::Version v;
  v.missing = false;
  v.device = st.st_dev;
  v.inode = st.st_ino;
  v.size = st.st_size;
  v.modified = Ns(st.st_mtim);
  v.changed = Ns(st.st_ctim);
  return v;
}

// The temp file a writer with process id `pid` saves through.
std::string TempName(const std::string& path, pid_t pid) { return path + ".tmp" + std::to_string(pid); }

}  // namespace

LONG RegistryStore::FromErrno(int err) {
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

bool RegistryStore::CurrentVersion(const std::string& path, Version& version) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    version = VersionOf(st);
    return true;
  }
  if (errno != ENOENT) return false;
  version = Version{};
  return true;
}

bool RegistryStore::Settled(const Version& version) {
  if (version.missing) return true;
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
  return Ns(now) > version.modified && Ns(now) > version.changed;
}

// Nothing else would ever remove such a file. The temp files of processes
// that still exist are left alone, since a process keeps its id until it is
// gone.
void RegistryStore::RemoveStaleTemps(const std::string& path) {
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
  if (ok && replacing && ::fstat(fd, &written) == 0 && Ns(written.st_mtim) <= Ns(old.st_mtim)) {
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

}  // namespace afx
