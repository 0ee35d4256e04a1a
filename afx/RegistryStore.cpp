#include "afx/RegistryStore.h"

#include <cstring>
#include <filesystem>
#include <utility>

#include "afx/RegFileLock.h"
#include "afx/RegReader.h"
#include "afx/RegistryLock.h"
#include "afx/RegWriter.h"

namespace afx {
namespace {

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::string RegistryStore::Describe(const std::string& path, int err) {
  return path + ": " + std::strerror(err);
}

std::string RegistryStore::FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool RegistryStore::Version::operator==(const Version& other) const {
  if (missing || other.missing) return missing == other.missing;
  return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
         changed == other.changed;
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

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
