#include "afx/RegReader.h"

#include <cstdio>

#include "afx/Registry.h"

namespace afx {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kShownBytes = 24;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && RegKeyNode::SameName(s.substr(0, prefix.size()), prefix);
}

// Tab is allowed; other control bytes would not survive being written back
// on a line of their own.
bool HasControl(std::string_view name) {
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) return true;
  }
  return false;
}

// The start of what was found, quoted and printable, for error messages.
std::string Describe(std::string_view rest) {
  rest = TrimLeft(rest);
  if (rest.empty()) return "end of line";
  std::string shown = "'";
  for (size_t i = 0; i < rest.size() && i < kShownBytes; ++i) {
    auto u = static_cast<unsigned char>(rest[i]);
    if (u < 0x20 || u >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      shown += buf;
    } else {
      shown += rest[i];
    }
  }
  shown += rest.size() > kShownBytes ? "...'" : "'";
  return shown;
}

}  // namespace

RegReader::RegReader(std::string_view text, const std::string& source, RegHive& hive)
    : text_(text), source_(source), hive_(hive) {}

bool RegReader::Apply(std::string_view text, const std::string& source, RegHive& hive,
                      std::string& error) {
  RegReader reader(text, source, hive);
  if (reader.Run()) return true;
  error = std::move(reader.error_);
  return false;
}

bool RegReader::Fail(std::string_view expected, std::string_view found) {
  error_ = source_ + " line " + std::to_string(lineNumber_) + ": expected " + std::string(expected) +
           " but found " + std::string(found);
  return false;
}

bool RegReader::NextLine(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  if (end == std::string_view::npos) end = text_.size();
  line = text_.substr(pos_, end - pos_);
  pos_ = end + 1;
  ++lineNumber_;
  return true;
}

bool RegReader::Run() {
  if (!ParseHeader()) return false;
  std::string_view line;
  while (NextLine(line)) {
    line = TrimLeft(line);
    if (TrimRight(line).empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (!ParseSection(TrimRight(line))) return false;
    } else if (line[0] == '"' || line[0] == '@') {
      if (!ParseValue(line)) return false;
    } else {
      return Fail("a [key] line, a value or a blank line", Describe(line));
    }
  }
  return true;
}

bool RegReader::ParseHeader() {
  std::string_view line;
  if (!NextLine(line)) {
    lineNumber_ = 1;
    return Fail("\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"", "end of file");
  }
  if (line.substr(0, kBom.size()) == kBom) line.remove_prefix(kBom.size());
  line = TrimRight(line);
  if (line == kHeader5 || line == kHeader4) return true;
  return Fail("\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"", Describe(line));
}

bool RegReader::ParseSection(std::string_view line) {
  // The name runs to the last ']' so that key names may themselves hold ']'.
  size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0)
    return Fail("']' at the end of the key line", "end of line");
  if (close + 1 != line.size())
    return Fail("']' at the end of the key line", Describe(line.substr(close + 1)));
  std::string_view path = line.substr(1, close - 1);
  bool remove = !path.empty() && path[0] == '-';
  if (remove) path.remove_prefix(1);

  size_t cut = path.find('\\');
  std::string_view rootName = path.substr(0, cut);
  int root = RegHive::RootIndex(rootName);
  if (root < 0) return Fail("HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER", Describe(rootName));

  // Files list each key after its parent, every line with the full path; a
  // deep tree would cost the square of its depth if each path were split and
  // walked from the root. A path that extends the last key's path byte for
  // byte goes on from that key; its leading names were checked on that line.
  const std::string_view fullPath = path;
  std::vector<std::string_view> removed;
  std::vector<std::string_view>& parts = remove ? removed : path_;
  if (!remove && pathRoot_ >= 0 && path.size() > pathText_.size() &&
      path.substr(0, pathText_.size()) == pathText_ && path[pathText_.size()] == '\\') {
    cut = pathText_.size();
  } else if (!remove) {
    path_.clear();
    nodes_.assign(1, &hive_.Root(root));
  }
  const size_t known = parts.size();
  while (cut != std::string_view::npos) {
    path.remove_prefix(cut + 1);
    cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    if (part.empty()) return Fail("a key name after '\\'", Describe(path));
    if (HasControl(part)) return Fail("a key name without control characters", Describe(part));
    if (part.size() > RegHive::kMaxKeyNameLength)
      return Fail("a key name of at most 255 characters",
                  std::to_string(part.size()) + " characters");
    if (parts.size() == RegHive::kMaxDepth)
      return Fail("at most 512 levels of keys", "more");
    parts.push_back(part);
  }

  if (remove) {
    RegKeyNode* node = &hive_.Root(root);
    for (size_t i = 0; node && i + 1 < parts.size(); ++i) node = node->FindSubkey(parts[i]);
    if (node) {
      if (parts.empty())
        node->Clear();
      else
        node->RemoveSubkey(parts.back());
    }
    // The removed keys may lie on the remembered path.
    pathRoot_ = -1;
    current_ = nullptr;
    afterDeletion_ = true;
    return true;
  }
  for (size_t i = known; i < parts.size(); ++i) nodes_.push_back(&nodes_.back()->AddSubkey(parts[i]));
  pathRoot_ = root;
  pathText_ = fullPath;
  current_ = nodes_.back();
  afterDeletion_ = false;
  return true;
}

bool RegReader::ParseQuoted(std::string_view& rest, std::string& out) {
  // rest[0] is the opening quote.
  size_t i = 1;
  for (;;) {
    if (i >= rest.size()) return Fail("a closing '\"'", "end of line");
    char c = rest[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= rest.size()) return Fail("'\\\\' or '\\\"' after a backslash", "end of line");
      char next = rest[i + 1];
      if (next != '\\' && next != '"')
        return Fail("'\\\\' or '\\\"' after a backslash", Describe(rest.substr(i + 1)));
      out += next;
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  rest.remove_prefix(i + 1);
  return true;
}

bool RegReader::ParseValue(std::string_view line) {
  if (!current_) {
    if (afterDeletion_) return Fail("a [key] line", "a value below a [-key] line");
    return Fail("a [key] line before the first value", Describe(line));
  }
  std::string name;
  std::string_view rest = line;
  if (rest[0] == '@') {
    rest.remove_prefix(1);
  } else {
    if (!ParseQuoted(rest, name)) return false;
    if (HasControl(name)) return Fail("a value name without control characters", Describe(name));
  }
  rest = TrimLeft(rest);
  if (rest.empty() || rest[0] != '=') return Fail("'=' after the value name", Describe(rest));
  rest = TrimLeft(rest.substr(1));

  std::vector<BYTE> data;
  DWORD type = REG_NONE;
  if (!rest.empty() && rest[0] == '"') {
    std::string text;
    if (!ParseQuoted(rest, text)) return false;
    rest = TrimRight(rest);
    if (!rest.empty()) return Fail("end of line after the closing '\"'", Describe(rest));
    data.assign(text.begin(), text.end());
    data.push_back(0);
    type = REG_SZ;
  } else if (!rest.empty() && rest[0] == '-') {
    rest = TrimRight(rest.substr(1));
    if (!rest.empty()) return Fail("end of line after '-'", Describe(rest));
    current_->RemoveValue(name);
    return true;
  } else if (StartsWithNoCase(rest, "dword:")) {
    if (!ParseDword(TrimRight(rest.substr(6)), data)) return false;
    type = REG_DWORD;
  } else if (StartsWithNoCase(rest, "hex:")) {
    if (!ParseHex(rest.substr(4), data)) return false;
    type = REG_BINARY;
  } else if (StartsWithNoCase(rest, "hex(")) {
    rest.remove_prefix(4);
    size_t digits = 0;
    DWORD value = 0;
    while (digits < rest.size() && HexDigit(rest[digits]) >= 0) {
      if (digits == 8) return Fail("a type of at most 8 hex digits in hex(...)", Describe(rest));
      value = (value << 4) | static_cast<DWORD>(HexDigit(rest[digits]));
      ++digits;
    }
    if (digits == 0) return Fail("a hex type number after 'hex('", Describe(rest));
    rest.remove_prefix(digits);
    if (rest.substr(0, 2) != "):") return Fail("'):' after the type number", Describe(rest));
    if (!ParseHex(rest.substr(2), data)) return false;
    type = value;
  } else {
    return Fail("a quoted string, dword:, hex: or - after '='", Describe(rest));
  }
  current_->SetValue(name, type, std::move(data));
  return true;
}

bool RegReader::ParseDword(std::string_view rest, std::vector<BYTE>& data) {
  if (rest.empty()) return Fail("1 to 8 hex digits after dword:", "end of line");
  DWORD value = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    int digit = HexDigit(rest[i]);
    if (digit < 0) return Fail("a hex digit", Describe(rest.substr(i)));
    if (i == 8) return Fail("at most 8 hex digits after dword:", Describe(rest));
    value = (value << 4) | static_cast<DWORD>(digit);
  }
  for (int shift = 0; shift < 32; shift += 8) data.push_back(static_cast<BYTE>(value >> shift));
  return true;
}

bool RegReader::ParseHex(std::string_view rest, std::vector<BYTE>& data) {
  // Bytes separated by commas; a backslash at the end of a line continues the
  // list on the next line. "hex:" alone is empty data.
  bool wantByte = true;
  bool emptyAllowed = true;
  for (;;) {
    rest = TrimLeft(rest);
    if (!rest.empty() && rest[0] == '\\' && TrimRight(rest.substr(1)).empty()) {
      if (!NextLine(rest)) return Fail("another line of hex bytes after '\\'", "end of file");
      continue;
    }
    if (TrimRight(rest).empty()) {
      if (wantByte && !emptyAllowed) return Fail("a hex byte after ','", "end of line");
      return true;
    }
    if (wantByte) {
      int high = HexDigit(rest[0]);
      if (high < 0) return Fail("a hex byte", Describe(rest));
      int value = high;
      size_t used = 1;
      if (rest.size() > 1 && HexDigit(rest[1]) >= 0) {
        value = value * 16 + HexDigit(rest[1]);
        used = 2;
      }
      if (rest.size() > used && HexDigit(rest[used]) >= 0)
        return Fail("a hex byte of at most two digits", Describe(rest));
      data.push_back(static_cast<BYTE>(value));
      rest.remove_prefix(used);
      wantByte = false;
      emptyAllowed = false;
    } else {
      if (rest[0] != ',') return Fail("',' or the end of the line", Describe(rest));
      rest.remove_prefix(1);
      wantByte = true;
    }
  }
}

}  // namespace afx
