// The store file and the hive read from it. Reads look at the file's identity
// (device, inode, size, modification and change times) and read it again only
// when that changed or is too recent to be told from a change in the same
// clock tick, parsing again only when its bytes changed; changes are
// read-modify-write under an exclusive lock on "<store>.lock", saved
// atomically. A file that does not parse is never written over.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "afx/RegHive.h"
#include "afx/WinTypes.h"

namespace afx {

class RegistryStore {
 public:
  explicit RegistryStore(std::string path);

  const std::string& Path() const { return path_; }
  // Valid after Refresh or Modify succeeded.
  const RegHive& Hive() const { return hive_; }
  // Whether the hive holds a parsed file (no failure since it was read).
  bool Loaded() const { return loaded_ && parseError_.empty(); }
  // Changes whenever the hive may have changed (starting from 1 once read), so
  // that a key found in the hive can be kept while it stays the same.
  std::uint64_t Generation() const { return generation_; }

  // Brings the hive up to date with the file: ERROR_SUCCESS, ERROR_BADDB (the
  // file does not parse) or ERROR_CANTREAD; `error` says why.
  LONG Refresh(std::string& error);

  // Applies `change` to the current hive under the lock and saves the result
  // when `change` succeeds and reports that it changed something.
  using Change = std::function<LONG(RegHive& hive, bool& changed)>;
  LONG Modify(const Change& change, std::string& error);

  // What tells one saved version of the file from another without reading it.
  // Times are in the file system's own units (ns on POSIX, 100 ns on Windows).
  struct Version {
    bool missing = true;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0, changed = 0;
    bool operator==(const Version& other) const;
  };

  // A missing file reads as empty with `missing` set; `version`, when given,
  // is the identity of the file the text came from.
  static LONG ReadFile(const std::string& path, std::string& text, bool& missing,
                       std::string& error, Version* version = nullptr);
  // Temp file beside `path`, fsync, rename over `path`, fsync of the folder.
  // The new file's modification time is later than the old one's even when
  // the clock has not ticked in between, so that no two saved versions look
  // alike to a reader that has only the old one's identity.
  static LONG WriteFileAtomically(const std::string& path, const std::string& text,
                                  std::string& error);

 private:
  void Touch();

  // The system's part (afx/posix/, afx/win/). The identity of the file at
  // `path` now (missing when there is none); false when it cannot be had.
  static bool CurrentVersion(const std::string& path, Version& version);
  // Whether the clock the file system stamps files with has moved past the
  // version's times: only then must any later change carry different times.
  // Before that, a change in the same tick would look like the same version.
  static bool Settled(const Version& version);
  // errno as the codes a caller of the registry acts on.
  static LONG FromErrno(int err);
  // A writer killed between creating its temp file and renaming it leaves
  // the file behind; called under the lock, so no live writer is saving.
  static void RemoveStaleTemps(const std::string& path);
  static std::string Describe(const std::string& path, int err);
  static std::string FolderOf(const std::string& path);

  std::string path_;
  RegHive hive_;
  std::uint64_t generation_ = 0;
  bool loaded_ = false;  // hive_ (or parseError_) matches text_
  Version version_;      // of the file text_ was read from, when loaded_
  bool settled_ = false;  // version_ alone may stand for the file's bytes
  std::string text_;
  std::string parseError_;
};

}  // namespace afx
