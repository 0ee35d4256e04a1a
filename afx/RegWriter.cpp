#include "afx/RegWriter.h"

#include <cstdio>

#include "afx/Registry.h"

namespace afx {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr size_t kLineWidth = 78;

// A string goes out in quotes only when it reads back byte for byte: one
// terminating NUL and nothing that would break the line.
bool QuotesCleanly(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    BYTE b = data[i];
    if ((b < 0x20 && b != '\t') || b == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string RegWriter::WriteHive(const RegHive& hive) {
  std::string out = kHeader;
  for (int r = 0; r < RegHive::kRootCount; ++r) {
    const RegKeyNode& root = hive.Root(r);
    std::string path = RegHive::RootName(r);
    if (root.ValueCount() > 0) {
      out += "[" + path + "]\n";
      for (size_t i = 0; i < root.ValueCount(); ++i) AppendValue(out, root.Value(i));
      out += "\n";
    }
    for (size_t i = 0; i < root.SubkeyCount(); ++i) AppendKey(out, root.Subkey(i), path);
  }
  return out;
}

std::string RegWriter::WriteKey(const RegKeyNode& key, const std::string& fullPath) {
  std::string out = kHeader;
  std::string path = fullPath;
  AppendSection(out, key, path);
  return out;
}

void RegWriter::AppendKey(std::string& out, const RegKeyNode& key, std::string& parentPath) {
  const size_t parentLength = parentPath.size();
  parentPath += '\\';
  parentPath += key.Name();
  AppendSection(out, key, parentPath);
  parentPath.resize(parentLength);
}

// Every key line carries the full path, so a deep tree's text grows with the
// square of its depth; the path is built in one buffer rather than copied per level.
void RegWriter::AppendSection(std::string& out, const RegKeyNode& key, std::string& path) {
  out += '[';
  out += path;
  out += "]\n";
  for (size_t i = 0; i < key.ValueCount(); ++i) AppendValue(out, key.Value(i));
  out += '\n';
  for (size_t i = 0; i < key.SubkeyCount(); ++i) AppendKey(out, key.Subkey(i), path);
}

void RegWriter::AppendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void RegWriter::AppendValue(std::string& out, const RegValue& value) {
  size_t lineStart = out.size();
  if (value.name.empty())
    out += '@';
  else
    AppendQuoted(out, value.name);
  out += '=';
  if (value.type == REG_SZ && QuotesCleanly(value.data)) {
    AppendQuoted(out, std::string(value.data.begin(), value.data.end() - 1));
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD v = static_cast<DWORD>(value.data[0]) | static_cast<DWORD>(value.data[1]) << 8 |
              static_cast<DWORD>(value.data[2]) << 16 | static_cast<DWORD>(value.data[3]) << 24;
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v));
    out += buf;
  } else {
    if (value.type == REG_BINARY) {
      out += "hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
      out += buf;
    }
    AppendHex(out, value.data, out.size() - lineStart);
  }
  out += '\n';
}

void RegWriter::AppendHex(std::string& out, const std::vector<BYTE>& data, size_t column) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      out += ',';
      ++column;
      // Wrapped like regedit's exports: ",\" ends a line, two spaces indent the next.
      if (column + 3 > kLineWidth) {
        out += "\\\n  ";
        column = 2;
      }
    }
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
    column += 2;
  }
}

}  // namespace afx
