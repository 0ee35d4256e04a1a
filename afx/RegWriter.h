// Writes keys in the .reg text format ("Windows Registry Editor Version
// 5.00"), in the form RegReader reads back to the same tree.
#pragma once
#include <string>

#include "afx/RegHive.h"

namespace afx {

class RegWriter {
 public:
  // The whole hive, as the store file holds it.
  static std::string WriteHive(const RegHive& hive);
  // One key and everything below it; `fullPath` names the key
  // ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...").
  static std::string WriteKey(const RegKeyNode& key, const std::string& fullPath);

 private:
  // Appends `key` under `parentPath`, which is extended and restored.
  static void AppendKey(std::string& out, const RegKeyNode& key, std::string& parentPath);
  static void AppendSection(std::string& out, const RegKeyNode& key, std::string& path);
  static void AppendValue(std::string& out, const RegValue& value);
  static void AppendQuoted(std::string& out, const std::string& text);
  static void AppendHex(std::string& out, const std::vector<BYTE>& data, size_t column);
};

}  // namespace afx
