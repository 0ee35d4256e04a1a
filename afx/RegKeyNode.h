// One key of the in-memory hive: its values and subkeys, both kept in the
// order they were created (that order is what enumeration by index shows).
// Names are compared without regard to ASCII case but stored as first given.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "afx/WinTypes.h"

namespace afx {

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;

  bool operator==(const RegValue&) const = default;
};

class RegKeyNode {
 public:
  explicit RegKeyNode(std::string name = {});
  RegKeyNode(const RegKeyNode& other);
  RegKeyNode& operator=(const RegKeyNode& other);
  RegKeyNode(RegKeyNode&&) noexcept = default;
  RegKeyNode& operator=(RegKeyNode&&) noexcept = default;
  ~RegKeyNode() = default;

  const std::string& Name() const { return name_; }

  size_t SubkeyCount() const { return subkeys_.size(); }
  RegKeyNode& Subkey(size_t index) { return *subkeys_[index]; }
  const RegKeyNode& Subkey(size_t index) const { return *subkeys_[index]; }
  RegKeyNode* FindSubkey(std::string_view name);
  const RegKeyNode* FindSubkey(std::string_view name) const;
  // For a name already passed through Fold: the hot path of every handle's look-up.
  RegKeyNode* FindFoldedSubkey(const std::string& folded);
  // Returns the existing subkey of that name, or appends a new one.
  RegKeyNode& AddSubkey(std::string_view name, bool* created = nullptr);
  bool RemoveSubkey(std::string_view name);
  void Clear();

  size_t ValueCount() const { return values_.size(); }
  const RegValue& Value(size_t index) const { return values_[index]; }
  const RegValue* FindValue(std::string_view name) const;
  // Replaces the data of an existing value in place (its position and the
  // spelling of its name stay), or appends a new one. Returns false when
  // nothing changed.
  bool SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::string_view name);

  // Exact comparison (names case-sensitive, order significant): "the same tree".
  bool operator==(const RegKeyNode& other) const;

  static std::string Fold(std::string_view name);
  static bool SameName(std::string_view a, std::string_view b);

 private:
  void ReindexSubkeys();
  void ReindexValues();

  std::string name_;
  std::vector<std::unique_ptr<RegKeyNode>> subkeys_;
  std::vector<RegValue> values_;
  // Folded name -> position, so that large keys stay linear to load.
  std::unordered_map<std::string, size_t> subkeyIndex_;
  std::unordered_map<std::string, size_t> valueIndex_;
};

}  // namespace afx
