// The store file and the hive read from it. Reads re-read the file and parse
// it again only when its bytes changed; changes are read-modify-write under
// an exclusive lock on "<store>.lock", saved atomically. A file that does not
// parse is never written over.
#pragma once
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

  // Brings the hive up to date with the file: ERROR_SUCCESS, ERROR_BADDB (the
  // file does not parse) or ERROR_CANTREAD; `error` says why.
  LONG Refresh(std::string& error);

  // Applies `change` to the current hive under the lock and saves the result
  // when `change` succeeds and reports that it changed something.
  using Change = std::function<LONG(RegHive& hive, bool& changed)>;
  LONG Modify(const Change& change, std::string& error);

  // A missing file reads as empty with `missing` set.
  static LONG ReadFile(const std::string& path, std::string& text, bool& missing,
                       std::string& error);
  // Temp file beside `path`, fsync, rename over `path`, fsync of the folder.
  static LONG WriteFileAtomically(const std::string& path, const std::string& text,
                                  std::string& error);

 private:
  std::string path_;
  RegHive hive_;
  bool loaded_ = false;  // hive_ (or parseError_) matches text_
  std::string text_;
  std::string parseError_;
};

}  // namespace afx
