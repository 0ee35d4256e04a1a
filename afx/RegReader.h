// Reads the .reg text format (REGEDIT4 or "Windows Registry Editor Version
// 5.00") into a hive. The text is outside input: every line is bounds-checked
// and the first fault stops the reading with a message naming the line.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "afx/RegHive.h"

namespace afx {

class RegReader {
 public:
  // Applies the keys, values and deletions in `text` to `hive`, in order.
  // On failure returns false and sets `error` to
  // "<source> line N: expected <what> but found <what>"; `hive` may then hold
  // part of the text, so callers apply to a copy.
  static bool Apply(std::string_view text, const std::string& source, RegHive& hive,
                    std::string& error);

 private:
  RegReader(std::string_view text, const std::string& source, RegHive& hive);

  bool Run();
  bool NextLine(std::string_view& line);
  bool ParseHeader();
  bool ParseSection(std::string_view line);
  bool ParseValue(std::string_view line);
  bool ParseQuoted(std::string_view& rest, std::string& out);
  bool ParseDword(std::string_view rest, std::vector<BYTE>& data);
  bool ParseHex(std::string_view rest, std::vector<BYTE>& data);
  bool Fail(std::string_view expected, std::string_view found);

  std::string_view text_;
  size_t pos_ = 0;
  size_t lineNumber_ = 0;
  const std::string& source_;
  RegHive& hive_;
  RegKeyNode* current_ = nullptr;
  bool afterDeletion_ = false;
  // The last key line's path, its names and the nodes along it (nodes_[0] is
  // the root), so that a key listed under its parent is reached from there.
  int pathRoot_ = -1;
  std::string_view pathText_;
  std::vector<std::string_view> path_;
  std::vector<RegKeyNode*> nodes_;
  std::string error_;
};

}  // namespace afx
