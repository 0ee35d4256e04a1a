// The Win32-shaped calls: types, sizes, access masks, creation, deletion and
// enumeration, as callers written for Windows expect them.
#include "unit/afx/RegistryTempStore.h"

namespace {

using RegistryTest = RegistryTempStore;
using namespace std::string_literals;

const BYTE* Bytes(const char* s) { return reinterpret_cast<const BYTE*>(s); }
BYTE* Out(char* s) { return reinterpret_cast<BYTE*>(s); }

TEST_F(RegistryTest, ValuesKeepTheirTypeAndSize) {
  HKEY key = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  struct Row {
    const char* name;
    DWORD type;
    const BYTE* data;
    DWORD size;
    std::string stored;
  } rows[] = {
      {"Text", REG_SZ, Bytes("COM3"), 5, "COM3\0"s},
      {"Empty", REG_SZ, Bytes(""), 1, "\0"s},
      {"Unterminated", REG_SZ, Bytes("ab"), 2, "ab\0"s},  // still reads back terminated
      {"Number", REG_DWORD, Bytes("\x2a\0\0\0"), 4, "\x2a\0\0\0"s},
      {"Blob", REG_BINARY, Bytes("\0\x01\xFF"), 3, "\0\x01\xFF"s},
      {"NoData", REG_BINARY, nullptr, 0, ""},
      {nullptr, REG_SZ, Bytes("dflt"), 5, "dflt\0"s},
      {"MaxBaud", REG_SZ, Bytes("115200"), 7, "115200\0"s},  // a number as text stays text
  };
  for (const auto& row : rows) {
    const char* label = row.name ? row.name : "(default)";
    ASSERT_EQ(RegSetValueEx(key, row.name, 0, row.type, row.data, row.size), ERROR_SUCCESS) << label;
    const Read got = Get(key, row.name);
    EXPECT_EQ(std::make_tuple(got.rc, got.type, got.data), std::make_tuple(LONG{ERROR_SUCCESS}, row.type, row.stored))
        << label;
  }
  // "" and null both name the default value; names match in any case.
  EXPECT_EQ(Get(key, "").data, "dflt\0"s);
  EXPECT_EQ(Get(key, "tEXT").data, "COM3\0"s);
  EXPECT_EQ(Get(key, "Missing").rc, ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryReportsTheSizeItNeeds) {
  HKEY key = Open("HKLM\\Q");
  ASSERT_EQ(SetString(key, "Name", "hello"), ERROR_SUCCESS);
  struct Row {
    bool withBuffer;
    DWORD room;
    LONG rc;
  } rows[] = {{false, 0, ERROR_SUCCESS},  // null data asks the size
              {true, 0, ERROR_MORE_DATA},
              {true, 5, ERROR_MORE_DATA},  // no room for the NUL
              {true, 6, ERROR_SUCCESS},
              {true, 64, ERROR_SUCCESS}};
  for (const auto& row : rows) {
    char buffer[64] = {};
    DWORD type = 0, size = row.room;
    BYTE* data = row.withBuffer ? reinterpret_cast<BYTE*>(buffer) : nullptr;
    EXPECT_EQ(RegQueryValueEx(key, "Name", nullptr, &type, data, &size), row.rc) << row.room;
    EXPECT_EQ(std::make_pair(size, type), std::make_pair(DWORD{6}, DWORD{REG_SZ})) << row.room;
    EXPECT_STREQ(buffer, row.withBuffer && row.rc == ERROR_SUCCESS ? "hello" : "");
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessMasksGateEachCall) {
  RegCloseKey(Open("HKLM\\A\\Child"));
  // One column per call: set value, delete value, query, query info, enumerate
  // keys, enumerate values. 'y' = allowed, '-' = ERROR_ACCESS_DENIED.
  struct Row {
    REGSAM sam;
    const char* allowed;
  } rows[] = {{KEY_READ, "--yyyy"},
              {KEY_READ | KEY_WOW64_64KEY, "--yyyy"},
              {KEY_WRITE | KEY_WOW64_32KEY, "yy----"},
              {KEY_QUERY_VALUE, "--yy-y"},
              {KEY_ENUMERATE_SUB_KEYS, "----y-"},
              {KEY_SET_VALUE, "yy----"},
              {KEY_ALL_ACCESS, "yyyyyy"}};
  for (const auto& row : rows) {
    HKEY key = Open("HKLM\\A", row.sam, false);
    char name[64];
    DWORD len = sizeof name, len2 = sizeof name;
    const LONG got[] = {SetString(key, "V", "x"),
                        RegDeleteValue(key, "V"),
                        Get(key, "V").rc,
                        RegQueryInfoKey(key, nullptr, nullptr, nullptr),
                        RegEnumKeyEx(key, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
                        RegEnumValue(key, 0, name, &len2, nullptr, nullptr, nullptr, nullptr)};
    for (int call = 0; call < 6; ++call)
      EXPECT_EQ(got[call] != ERROR_ACCESS_DENIED, row.allowed[call] == 'y')
          << "sam " << std::hex << row.sam << " call " << call << " rc " << std::dec << got[call];
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, CreateMakesMissingAncestorsAndSaysWhatItDid) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  struct Row {
    const char* path;
    DWORD disposition;
  } rows[] = {{"SOFTWARE\\Korvane\\Talvern\\Devices", REG_CREATED_NEW_KEY},
              {"software\\KORVANE\\talvern\\devices", REG_OPENED_EXISTING_KEY},
              {"SOFTWARE\\Korvane", REG_OPENED_EXISTING_KEY},
              {"SOFTWARE\\Korvane\\Talvern\\Firmware", REG_CREATED_NEW_KEY}};
  for (const auto& row : rows) {
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, row.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, row.disposition) << row.path;
    RegCloseKey(key);
  }
  // Stored as first spelled, in creation order.
  key = Open("HKEY_LOCAL_MACHINE\\Software\\korvane\\TALVERN", KEY_READ, false);
  EXPECT_EQ(Subkeys(key), (std::vector<std::string>{"Devices", "Firmware"}));
  DWORD subKeys = 0, longest = 0, values = 9;
  EXPECT_EQ(RegQueryInfoKey(key, &subKeys, &longest, &values), ERROR_SUCCESS);
  EXPECT_EQ(std::make_tuple(subKeys, longest, values), std::make_tuple(2u, 8u, 0u));
  RegCloseKey(key);

  // Creating below a key opened without KEY_CREATE_SUB_KEY is refused; opening is not.
  HKEY readOnly = Open("HKLM\\SOFTWARE", KEY_READ, false);
  EXPECT_EQ(RegCreateKeyEx(readOnly, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyEx(readOnly, "Korvane", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(readOnly);
}

TEST_F(RegistryTest, DeleteKeyFollowsTheWin32Rules) {
  HKEY parent = Open("HKLM\\P");
  HKEY leaf = Open("HKLM\\P\\Q\\Leaf");
  struct Row {
    const char* subKey;
    LONG rc;
  } rows[] = {{"Q", ERROR_ACCESS_DENIED},  // still has a subkey
              {"Nope", ERROR_FILE_NOT_FOUND},
              {"q\\LEAF", ERROR_SUCCESS},
              {"Q\\Leaf", ERROR_FILE_NOT_FOUND},
              {"Q", ERROR_SUCCESS}};
  for (const auto& row : rows) EXPECT_EQ(RegDeleteKey(parent, row.subKey), row.rc) << row.subKey;
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);

  // The old handle stays dead even when a key of that name comes back.
  HKEY again = Open("HKLM\\P\\Q\\Leaf");
  HKEY below = nullptr;
  EXPECT_EQ(SetString(leaf, "V", "x"), ERROR_KEY_DELETED);
  EXPECT_EQ(Get(leaf, "V").rc, ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyEx(leaf, "", 0, KEY_READ, &below), ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(again, "V", "x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(again, ""), ERROR_SUCCESS);  // "" is the handle's own key
  EXPECT_EQ(Get(again, "V").rc, ERROR_KEY_DELETED);
  for (HKEY k : {parent, leaf, again}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryTest, EnumValueCopiesNameTypeAndData) {
  HKEY key = Open("HKCU\\E");
  ASSERT_EQ(SetString(key, "First", "one"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "Second", 7), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "first", "uno"), ERROR_SUCCESS);  // replaced in place
  char name[64] = {}, data[16] = {};
  DWORD nameLen = sizeof name, type = 0, size = sizeof data;
  ASSERT_EQ(RegEnumValue(key, 0, name, &nameLen, nullptr, &type, Out(data), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::make_tuple(std::string(name, nameLen), type, std::string(data, size)),
            std::make_tuple("First"s, REG_SZ, "uno\0"s));
  nameLen = 6;  // no room for the NUL after "Second"
  EXPECT_EQ(RegEnumValue(key, 1, name, &nameLen, nullptr, &type, Out(data), &size), ERROR_MORE_DATA);
  nameLen = sizeof name;
  EXPECT_EQ(RegEnumValue(key, 2, name, &nameLen, nullptr, &type, Out(data), &size),
            ERROR_NO_MORE_ITEMS);
  // The roots are separate trees.
  EXPECT_EQ(Subkeys(HKEY_CURRENT_USER), std::vector<std::string>{"E"});
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{});
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesTheStoreCannotHoldAreRefused) {
  HKEY key = Open("HKLM\\N"), out = nullptr;
  const std::string longName(256, 'k');
  for (const char* sub : {longName.c_str(), "line\nbreak"})
    EXPECT_EQ(RegCreateKeyEx(key, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(key, "line\nbreak", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(key, "V", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Get(nullptr, "V").rc, ERROR_INVALID_HANDLE);
  EXPECT_EQ(afx::RegOpenKeyPath("HKEY_USERS\\X", KEY_READ, &out, true), ERROR_BADKEY);
  RegCloseKey(key);
}

}  // namespace
