// The store file on Windows: the runtime's descriptors for the bytes, the
// system's file identity for versions, and a rename that replaces the old
// file in one step and returns once it is on disk.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "afx/RegistryStore.h"
#include "afx/System.h"
#include "afx/win/WinCalls.h"

namespace afx {
namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const int n = ::_write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

RegistryStore::Version VersionOf(const win::FileIdentity& id) {
  RegistryStore::Version v;
  v.missing = false;
  v.device = id.volume;
  v.inode = id.index;
  v.size = id.size;
  v.modified = id.modified;
  v.changed = id.created;
  return v;
}

std::string TempName(const std::string& path, long pid) { return path + ".tmp" + std::to_string(pid); }

}  // namespace

LONG RegistryStore::FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_CANTWRITE;
  }
}

bool RegistryStore::CurrentVersion(const std::string& path, Version& version) {
  win::FileIdentity id;
  int err = 0;
  if (win::IdentifyFile(path, &id, &err)) {
    version = VersionOf(id);
    return true;
  }
  if (err != ENOENT) return false;
  version = Version{};
  return true;
}

bool RegistryStore::Settled(const Version& version) {
  if (version.missing) return true;
  const std::int64_t now = win::FileTimeNow();
  return now > version.modified && now > version.changed;
}

void RegistryStore::RemoveStaleTemps(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = std::filesystem::path(path).filename().string() + ".tmp";
  for (const std::string& name : FolderEntries(folder)) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::stol(digits);
    if (pid <= 0 || pid == CurrentProcessId() || ProcessExists(pid)) continue;
    ::_unlink((folder + "\\" + name).c_str());
  }
}

LONG RegistryStore::ReadFile(const std::string& path, std::string& text, bool& missing, std::string& error,
                             Version* version) {
  text.clear();
  missing = false;
  if (version) *version = Version{};
  int fd = -1;
  if (const int err = ::_sopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0); err != 0) {
    if (err == ENOENT) {
      missing = true;
      return ERROR_SUCCESS;
    }
    error = Describe(path, err);
    return ERROR_CANTREAD;
  }
  if (version && !CurrentVersion(path, *version)) {
    ::_close(fd);
    error = Describe(path, EIO);
    return ERROR_CANTREAD;
  }
  char buffer[65536];
  for (;;) {
    const int n = ::_read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      const int err = errno;
      ::_close(fd);
      error = Describe(path, err);
      return ERROR_CANTREAD;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::_close(fd);
  return ERROR_SUCCESS;
}

LONG RegistryStore::WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
  // Writers of one store are serialised by the lock, so the pid is enough to
  // keep a temp name apart from other processes' leftovers.
  const std::string temp = TempName(path, CurrentProcessId());
  ::_unlink(temp.c_str());
  int fd = -1;
  if (const int err = ::_sopen_s(&fd, temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                 _SH_DENYRW, _S_IREAD | _S_IWRITE);
      err != 0) {
    error = Describe(temp, err);
    return FromErrno(err);
  }
  bool ok = WriteAll(fd, text) && ::_commit(fd) == 0;
  int err = errno;
  if (::_close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  Version old;
  if (ok && CurrentVersion(path, old) && !old.missing) {
    win::FileIdentity written;
    int ignored = 0;
    // The clock has not ticked since the old version was saved.
    if (win::IdentifyFile(temp, &written, &ignored) && written.modified <= old.modified)
      win::SetModifiedTime(temp, old.modified + 1);
  }
  if (ok && !win::MoveFileOver(temp, path, false, &err)) ok = false;
  if (!ok) {
    ::_unlink(temp.c_str());
    error = Describe(path, err);
    return FromErrno(err);
  }
  return ERROR_SUCCESS;
}

}  // namespace afx
