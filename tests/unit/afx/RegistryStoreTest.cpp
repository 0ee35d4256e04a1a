// The .reg text: what the reader accepts, how it reports what it refuses,
// and that the writer's output reads back to the same tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/RegHive.h"
#include "afx/RegReader.h"
#include "afx/RegWriter.h"
#include "afx/Registry.h"

namespace {

using afx::RegHive;
using afx::RegKeyNode;
using afx::RegReader;
using afx::RegWriter;
using namespace std::string_literals;

const std::string kHead = "Windows Registry Editor Version 5.00\n\n";

std::string Read(const std::string& text, RegHive& hive) {
  std::string error;
  RegReader::Apply(text, "in.reg", hive, error);
  return error;
}

std::vector<BYTE> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(RegistryStoreTest, FaultsNameTheLineAndWhatWasExpected) {
  struct Row {
    std::string text;
    std::string error;
  } rows[] = {
      {"", "in.reg line 1: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" but found end of file"},
      {"REGEDIT5\n", "line 1: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" but found 'REGEDIT5'"},
      {kHead + "\"V\"=\"x\"\n", "line 3: expected a [key] line before the first value but found '\"V\"=\"x\"'"},
      {kHead + "[HKLM\\A\n", "line 3: expected ']' at the end of the key line but found end of line"},
      {kHead + "[HKLM\\A] x\n", "line 3: expected ']' at the end of the key line but found 'x'"},
      {kHead + "[HKEY_USERS\\A]\n", "line 3: expected HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER but found 'HKEY_USERS'"},
      {kHead + "[HKLM\\A\\\\B]\n", "line 3: expected a key name after '\\' but found '\\B'"},
      {kHead + "[HKLM\\A]\n\"V\"\"x\"\n", "line 4: expected '=' after the value name but found '\"x\"'"},
      {kHead + "[HKLM\\A]\n\"V=\"x\"\n", "line 4: expected '=' after the value name but found 'x\"'"},
      {kHead + "[HKLM\\A]\n\"V\"=\"abc\n", "line 4: expected a closing '\"' but found end of line"},
      {kHead + "[HKLM\\A]\n\"V\"=\"abc\n\"W\"=\"x\"\n", "line 4: expected a closing '\"' but found end of line"},
      {kHead + "[HKLM\\A]\n\"V\"=\"a\\nb\"\n", "line 4: expected '\\\\' or '\\\"' after a backslash but found 'nb\"'"},
      {kHead + "[HKLM\\A]\n\"V\"=\"a\" junk\n", "line 4: expected end of line after the closing '\"' but found 'junk'"},
      {kHead + "[HKLM\\A]\n\"V\"=dword:123456789\n", "line 4: expected at most 8 hex digits after dword: but found '123456789'"},
      {kHead + "[HKLM\\A]\n\"V\"=dword:\n", "line 4: expected 1 to 8 hex digits after dword: but found end of line"},
      {kHead + "[HKLM\\A]\n\"V\"=dword:12g4\n", "line 4: expected a hex digit but found 'g4'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01,zz\n", "line 4: expected a hex byte but found 'zz'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01,234\n", "line 4: expected a hex byte of at most two digits but found '234'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01 02\n", "line 4: expected ',' or the end of the line but found '02'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01,\n", "line 4: expected a hex byte after ',' but found end of line"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01,\\\n  02,\\\n", "line 5: expected another line of hex bytes after '\\' but found end of file"},
      {kHead + "[HKLM\\A]\n\"V\"=hex:01,\\\n  02,\\\n  x\n", "line 6: expected a hex byte but found 'x'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex(123456789):00\n", "line 4: expected a type of at most 8 hex digits in hex(...) but found '123456789):00'"},
      {kHead + "[HKLM\\A]\n\"V\"=hex(2:00\n", "line 4: expected '):' after the type number but found ':00'"},
      {kHead + "[HKLM\\A]\n\"V\"=text\n", "line 4: expected a quoted string, dword:, hex: or - after '=' but found 'text'"},
      {kHead + "[HKLM\\A]\n\"V\"=- x\n", "line 4: expected end of line after '-' but found 'x'"},
      {kHead + "[-HKLM\\A]\n\"V\"=\"x\"\n", "line 4: expected a [key] line but found a value below a [-key] line"},
      {kHead + "[HKLM\\A]\n\"V\x01\"=\"x\"\n", "line 4: expected a value name without control characters but found 'V\\x01'"},
      {kHead + "[HKLM\\" + std::string(256, 'k') + "]\n", "line 3: expected a key name of at most 255 characters but found 256 characters"},
      {kHead + "[HKLM\\A]\nV=1\n", "line 4: expected a [key] line, a value or a blank line but found 'V=1'"},
      {kHead + "[HKLM\\A]\n\"V\"=\"" + std::string(100, 'x') + "\" tail" + std::string(100, 'y') + "\n",
       "line 4: expected end of line after the closing '\"' but found 'tailyyyyyyyyyyyyyyyyyyyy...'"},
  };
  for (const auto& row : rows) {
    RegHive hive;
    std::string error = Read(row.text, hive);
    EXPECT_NE(error.find(row.error), std::string::npos) << "text: " << row.text << "\nerror: " << error;
  }
  // Nesting deeper than Windows allows is refused rather than recursed into.
  std::string deep = kHead + "[HKLM";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  RegHive hive;
  EXPECT_EQ(Read(deep + "]\n", hive), "in.reg line 3: expected at most 512 levels of keys but found more");
}

// The reader goes on from the previous key when a path extends it; whatever
// the order of the key lines, the tree must be the one that reading each
// section on its own from the root gives.
TEST(RegistryStoreTest, KeyLinesInAnyOrderGiveTheTreeOfSeparateReads) {
  const std::vector<std::string> sections = {
      "[HKLM]\n\"r\"=dword:1\n",
      "[HKLM\\A]\n\"v\"=\"1\"\n",
      "[HKLM\\A\\B]\n\"v\"=\"2\"\n",
      "[HKLM\\A\\BC]\n\"v\"=\"3\"\n",      // shares bytes, not a name, with A\B
      "[HKLM\\A\\BC\\D\\E]\n\"v\"=\"4\"\n",
      "[hklm\\a\\b\\F]\n\"v\"=\"5\"\n",     // another spelling of a known path
      "[HKLM\\A\\b\\F\\G]\n\"v\"=\"6\"\n",
      "[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"7\"\n",
      "[HKLM\\A\\BC\\D]\n\"v\"=\"8\"\n",     // back up the tree
      "[-HKLM\\A\\BC\\D]\n",
      "[HKLM\\A\\BC\\D\\E]\n\"v\"=\"9\"\n",  // re-created under a removed key
      "[-HKLM\\A\\B\\F]\n",
      "[HKLM\\A\\B\\F]\n",
      "[HKLM\\A\\B\\F\\G\\H]\n\"v\"=\"10\"\n",
  };
  RegHive together;
  std::string all = kHead;
  for (const auto& section : sections) all += section;
  ASSERT_EQ(Read(all, together), "");
  RegHive apart;
  for (const auto& section : sections) ASSERT_EQ(Read(kHead + section, apart), "") << section;
  EXPECT_TRUE(together == apart) << RegWriter::WriteHive(together) << "\n---\n"
                                  << RegWriter::WriteHive(apart);
  EXPECT_EQ(together.Find(RegHive::kLocalMachine, {"A", "BC", "D", "E"})->FindValue("v")->data,
            Bytes("9\0"s));
  EXPECT_EQ(together.Find(RegHive::kLocalMachine, {"A", "B", "F", "G"})->ValueCount(), 0u);

  // The deepest tree allowed, written and read back; one more level is refused.
  RegHive deep;
  std::string line = "[HKEY_LOCAL_MACHINE";
  std::string text = kHead;
  for (size_t level = 0; level < RegHive::kMaxDepth; ++level) {
    line += "\\" + std::string(40, static_cast<char>('a' + level % 26));
    text += line + "]\n\"n\"=dword:" + std::to_string(level) + "\n";
  }
  ASSERT_EQ(Read(text, deep), "");
  RegHive reread;
  ASSERT_EQ(Read(RegWriter::WriteHive(deep), reread), "");
  EXPECT_TRUE(reread == deep);
  RegHive tooDeep;
  EXPECT_NE(Read(text + line + "\\x]\n", tooDeep).find("at most 512 levels of keys"), std::string::npos);
}

TEST(RegistryStoreTest, WrittenTextReadsBackToTheSameTree) {
  RegHive hive;
  RegKeyNode& key = hive.Root(RegHive::kLocalMachine).AddSubkey("SOFTWARE").AddSubkey("Korvane");
  std::vector<BYTE> big(300);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  struct Row {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
  } rows[] = {
      {"Path", REG_SZ, Bytes("C:\\dir\\\"quoted\"\\\0"s)},
      {"Empty", REG_SZ, {0}},
      {"", REG_SZ, Bytes("default\0"s)},
      {"Name \"with\" \\ marks", REG_DWORD, {0x2A, 0, 0, 0xFF}},
      {"Tabbed\tname", REG_SZ, Bytes("tab\there\0"s)},
      {"Newline", REG_SZ, Bytes("two\nlines\0"s)},
      {"Inner NUL", REG_SZ, Bytes("a\0b\0"s)},
      {"No NUL", REG_SZ, Bytes("ab")},
      {"Empty SZ data", REG_SZ, {}},
      {"Short DWORD", REG_DWORD, {1, 2, 3}},
      {"Big", REG_BINARY, big},
      {"Empty binary", REG_BINARY, {}},
      {"Multi", 7, Bytes("a\0b\0\0"s)},
      {"Odd type", 0x12345678, {9}},
      {"High bytes \xE9\xFF", REG_SZ, Bytes("caf\xE9\0"s)},
  };
  for (const auto& row : rows) key.SetValue(row.name, row.type, row.data);
  key.AddSubkey("Empty leaf");
  key.AddSubkey("Odd ] [name ]");
  hive.Root(RegHive::kLocalMachine).SetValue("OnRoot", REG_SZ, {'r', 0});
  hive.Root(RegHive::kCurrentUser).AddSubkey("U").AddSubkey("V").SetValue("W", REG_DWORD, {1, 0, 0, 0});

  std::string text = RegWriter::WriteHive(hive);
  RegHive back;
  ASSERT_EQ(Read(text, back), "") << text;
  EXPECT_TRUE(back == hive) << text;
  EXPECT_EQ(RegWriter::WriteHive(back), text);
  // Strings that would break the line go out as hex; long hex wraps.
  EXPECT_NE(text.find("\"Newline\"=hex(1):74,77,6f,0a"), std::string::npos);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
}

TEST(RegistryStoreTest, LongLinesAreReadWhole) {
  std::string data(1 << 20, 'x');
  RegHive hive;
  ASSERT_EQ(Read(kHead + "[HKLM\\A]\n\"V\"=\"" + data + "\"\n", hive), "");
  EXPECT_EQ(hive.Find(RegHive::kLocalMachine, {"A"})->FindValue("V")->data.size(), data.size() + 1);
}

}  // namespace
