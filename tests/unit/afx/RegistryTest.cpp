// The Win32-shaped calls: types, sizes, access masks, creation, deletion and
// enumeration, as callers written for Windows expect them.
#include <functional>

#include "unit/afx/RegistryTempStore.h"

namespace {

using RegistryTest = RegistryTempStore;
using namespace std::string_literals;

TEST_F(RegistryTest, ValuesKeepTheirTypeAndSize) {
  HKEY key = Open("HKLM\\SOFTWARE\\Korvane\\Talvern");
  const BYTE raw[] = {0, 1, 0xFF};
  const BYTE noNul[] = {'a', 'b'};
  struct Row {
    const char* name;
    DWORD type;
    const BYTE* data;
    DWORD size;
    std::string stored;
  } rows[] = {
      {"Text", REG_SZ, reinterpret_cast<const BYTE*>("COM3"), 5, "COM3\0"s},
      {"Empty", REG_SZ, reinterpret_cast<const BYTE*>(""), 1, "\0"s},
      // Counted without the NUL: it still reads back terminated.
      {"Unterminated", REG_SZ, noNul, 2, "ab\0"s},
      {"Number", REG_DWORD, reinterpret_cast<const BYTE*>("\x2a\0\0\0"), 4, "\x2a\0\0\0"s},
      {"Blob", REG_BINARY, raw, 3, "\0\x01\xFF"s},
      {"NoData", REG_BINARY, nullptr, 0, ""},
      {nullptr, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5, "dflt\0"s},
  };
  for (const auto& row : rows) {
    const char* label = row.name ? row.name : "(default)";
    ASSERT_EQ(RegSetValueEx(key, row.name, 0, row.type, row.data, row.size), ERROR_SUCCESS) << label;
    Read got = Get(key, row.name);
    EXPECT_EQ(got.rc, ERROR_SUCCESS) << label;
    EXPECT_EQ(got.type, row.type) << label;
    EXPECT_EQ(got.data, row.stored) << label;
  }
  // "" and null both name the default value; names match in any case.
  EXPECT_EQ(Get(key, "").data, "dflt\0"s);
  EXPECT_EQ(Get(key, "tEXT").data, "COM3\0"s);
  EXPECT_EQ(Get(key, "Missing").rc, ERROR_FILE_NOT_FOUND);
  // A number stored as text is text: callers asking for a DWORD must see that.
  ASSERT_EQ(SetString(key, "MaxBaud", "115200"), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "MaxBaud").type, REG_SZ);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryReportsTheSizeItNeeds) {
  HKEY key = Open("HKLM\\Q");
  ASSERT_EQ(SetString(key, "Name", "hello"), ERROR_SUCCESS);
  struct Row {
    bool withBuffer;
    DWORD room;
    LONG rc;
    DWORD size;
  } rows[] = {
      {false, 0, ERROR_SUCCESS, 6},   // null data asks the size
      {true, 0, ERROR_MORE_DATA, 6},
      {true, 5, ERROR_MORE_DATA, 6},  // no room for the NUL
      {true, 6, ERROR_SUCCESS, 6},
      {true, 64, ERROR_SUCCESS, 6},
  };
  for (const auto& row : rows) {
    BYTE buffer[64] = {};
    DWORD type = 0, size = row.room;
    LONG rc = RegQueryValueEx(key, "Name", nullptr, &type, row.withBuffer ? buffer : nullptr, &size);
    EXPECT_EQ(rc, row.rc) << row.room;
    EXPECT_EQ(size, row.size) << row.room;
    EXPECT_EQ(type, REG_SZ) << row.room;
    if (rc == ERROR_SUCCESS && row.withBuffer) {
      EXPECT_STREQ(reinterpret_cast<char*>(buffer), "hello");
    }
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessMasksGateEachCall) {
  HKEY setup = Open("HKLM\\A\\Child");
  ASSERT_EQ(SetString(setup, "V", "x"), ERROR_SUCCESS);
  RegCloseKey(setup);
  using Call = std::function<LONG(HKEY)>;
  const Call set = [](HKEY k) { return SetString(k, "W", "y"); };
  const Call remove = [](HKEY k) { return RegDeleteValue(k, "V"); };
  const Call query = [](HKEY k) { return Get(k, "V").rc; };
  const Call info = [](HKEY k) { return RegQueryInfoKey(k, nullptr, nullptr, nullptr); };
  const Call enumKeys = [](HKEY k) {
    char name[64];
    DWORD len = sizeof name;
    return RegEnumKeyEx(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr);
  };
  const Call enumValues = [](HKEY k) {
    char name[64];
    DWORD len = sizeof name;
    return RegEnumValue(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr);
  };
  struct Row {
    const char* what;
    REGSAM sam;
    const Call* call;
    LONG rc;
  } rows[] = {
      {"read: set", KEY_READ, &set, ERROR_ACCESS_DENIED},
      {"read: delete value", KEY_READ, &remove, ERROR_ACCESS_DENIED},
      {"read: query", KEY_READ, &query, ERROR_SUCCESS},
      {"read: enum keys", KEY_READ, &enumKeys, ERROR_SUCCESS},
      {"read+wow64: set", KEY_READ | KEY_WOW64_64KEY, &set, ERROR_ACCESS_DENIED},
      {"read+wow64: query", KEY_READ | KEY_WOW64_32KEY, &query, ERROR_SUCCESS},
      {"write: query", KEY_WRITE, &query, ERROR_ACCESS_DENIED},
      {"write: info", KEY_WRITE, &info, ERROR_ACCESS_DENIED},
      {"write: enum values", KEY_WRITE, &enumValues, ERROR_ACCESS_DENIED},
      {"write: enum keys", KEY_WRITE, &enumKeys, ERROR_ACCESS_DENIED},
      {"write: set", KEY_WRITE, &set, ERROR_SUCCESS},
      {"query only: enum keys", KEY_QUERY_VALUE, &enumKeys, ERROR_ACCESS_DENIED},
      {"enumerate only: enum keys", KEY_ENUMERATE_SUB_KEYS, &enumKeys, ERROR_SUCCESS},
      {"set only: delete value", KEY_SET_VALUE, &remove, ERROR_SUCCESS},
  };
  for (const auto& row : rows) {
    HKEY key = Open("HKLM\\A", row.sam, false);
    EXPECT_EQ((*row.call)(key), row.rc) << row.what;
    RegCloseKey(key);
    HKEY fix = Open("HKLM\\A");
    SetString(fix, "V", "x");
    RegCloseKey(fix);
  }
}

TEST_F(RegistryTest, CreateMakesMissingAncestorsAndSaysWhatItDid) {
  HKEY root = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &root), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(root, nullptr);
  struct Row {
    const char* path;
    DWORD disposition;
  } rows[] = {
      {"SOFTWARE\\Korvane\\Talvern\\Devices", REG_CREATED_NEW_KEY},
      {"software\\KORVANE\\talvern\\devices", REG_OPENED_EXISTING_KEY},
      {"SOFTWARE\\Korvane", REG_OPENED_EXISTING_KEY},
      {"SOFTWARE\\Korvane\\Talvern\\Firmware", REG_CREATED_NEW_KEY},
  };
  for (const auto& row : rows) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, row.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS)
        << row.path;
    EXPECT_EQ(disposition, row.disposition) << row.path;
    RegCloseKey(key);
  }
  // Stored as first spelled, in creation order.
  HKEY talvern = Open("HKEY_LOCAL_MACHINE\\Software\\korvane\\TALVERN", KEY_READ, false);
  EXPECT_EQ(Subkeys(talvern), (std::vector<std::string>{"Devices", "Firmware"}));
  DWORD subKeys = 0, longest = 0, values = 9;
  EXPECT_EQ(RegQueryInfoKey(talvern, &subKeys, &longest, &values), ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(longest, 8u);
  EXPECT_EQ(values, 0u);
  RegCloseKey(talvern);

  // Creating below a key opened without KEY_CREATE_SUB_KEY is refused.
  HKEY readOnly = Open("HKLM\\SOFTWARE", KEY_READ, false);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyEx(readOnly, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyEx(readOnly, "Korvane", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  RegCloseKey(readOnly);
}

TEST_F(RegistryTest, RootPathsAcceptLongAndShortNames) {
  struct Row {
    const char* path;
    LONG rc;
  } rows[] = {
      {"HKLM\\X", ERROR_SUCCESS},
      {"HKEY_LOCAL_MACHINE\\X\\Y", ERROR_SUCCESS},
      {"hkcu\\X", ERROR_SUCCESS},
      {"HKEY_CURRENT_USER", ERROR_SUCCESS},
      {"HKEY_CLASSES_ROOT\\X", ERROR_BADKEY},
      {"HKLMX\\X", ERROR_BADKEY},
  };
  for (const auto& row : rows) {
    HKEY key = nullptr;
    EXPECT_EQ(afx::RegOpenKeyPath(row.path, KEY_ALL_ACCESS, &key, true), row.rc) << row.path;
    if (key) RegCloseKey(key);
  }
  // The two roots are separate trees.
  HKEY user = Open("HKCU", KEY_READ, false);
  EXPECT_EQ(Subkeys(user), std::vector<std::string>{"X"});
  RegCloseKey(user);
  HKEY machine = Open("HKLM\\X", KEY_READ, false);
  EXPECT_EQ(Subkeys(machine), std::vector<std::string>{"Y"});
  RegCloseKey(machine);
}

TEST_F(RegistryTest, DeleteKeyFollowsTheWin32Rules) {
  HKEY parent = Open("HKLM\\P");
  HKEY leaf = Open("HKLM\\P\\Q\\Leaf");
  struct Row {
    const char* subKey;
    LONG rc;
  } rows[] = {
      {"Q", ERROR_ACCESS_DENIED},  // still has a subkey
      {"Nope", ERROR_FILE_NOT_FOUND},
      {"q\\LEAF", ERROR_SUCCESS},
      {"Q\\Leaf", ERROR_FILE_NOT_FOUND},
      {"Q", ERROR_SUCCESS},
  };
  for (const auto& row : rows) EXPECT_EQ(RegDeleteKey(parent, row.subKey), row.rc) << row.subKey;
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);

  // The old handle stays dead even when a key of that name comes back.
  HKEY again = Open("HKLM\\P\\Q\\Leaf");
  EXPECT_EQ(SetString(leaf, "V", "x"), ERROR_KEY_DELETED);
  EXPECT_EQ(Get(leaf, "V").rc, ERROR_KEY_DELETED);
  HKEY below = nullptr;
  EXPECT_EQ(RegOpenKeyEx(leaf, "", 0, KEY_READ, &below), ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(again, "V", "x"), ERROR_SUCCESS);
  // "" deletes the handle's own key.
  EXPECT_EQ(RegDeleteKey(again, ""), ERROR_SUCCESS);
  EXPECT_EQ(Get(again, "V").rc, ERROR_KEY_DELETED);
  for (HKEY k : {parent, leaf, again}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DeletingWhileEnumeratingRereadsTheSameIndex) {
  HKEY catalogue = Open("HKLM\\SOFTWARE\\Korvane\\Talvern\\Firmware");
  const std::vector<std::string> names = {"keep1", "drop1", "drop2", "keep2", "drop3", "keep3"};
  for (const auto& name : names) RegCloseKey(Open("HKLM\\SOFTWARE\\Korvane\\Talvern\\Firmware\\" + name));
  // The catalogue loader's loop: a deleted entry's successor moves up into its index.
  std::vector<std::string> seen;
  char name[256];
  for (DWORD index = 0;;) {
    DWORD len = sizeof name;
    if (RegEnumKeyEx(catalogue, index, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    seen.emplace_back(name);
    if (std::strncmp(name, "drop", 4) == 0) {
      ASSERT_EQ(RegDeleteKey(catalogue, name), ERROR_SUCCESS);
    } else {
      ++index;
    }
  }
  EXPECT_EQ(seen, names);
  EXPECT_EQ(Subkeys(catalogue), (std::vector<std::string>{"keep1", "keep2", "keep3"}));
  RegCloseKey(catalogue);
}

TEST_F(RegistryTest, EnumValueCopiesNameAndData) {
  HKEY key = Open("HKCU\\E");
  ASSERT_EQ(SetString(key, "First", "one"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "Second", 7), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "first", "uno"), ERROR_SUCCESS);  // replaces in place
  struct Row {
    DWORD index;
    DWORD nameRoom;
    LONG rc;
    const char* name;
    DWORD type;
  } rows[] = {
      {0, 64, ERROR_SUCCESS, "First", REG_SZ},
      {1, 64, ERROR_SUCCESS, "Second", REG_DWORD},
      {1, 6, ERROR_MORE_DATA, "", 0},  // no room for the NUL
      {2, 64, ERROR_NO_MORE_ITEMS, "", 0},
  };
  for (const auto& row : rows) {
    char name[64] = {};
    DWORD nameLen = row.nameRoom, type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegEnumValue(key, row.index, name, &nameLen, nullptr, &type, data, &size), row.rc);
    if (row.rc != ERROR_SUCCESS) continue;
    EXPECT_STREQ(name, row.name);
    EXPECT_EQ(nameLen, std::strlen(row.name));
    EXPECT_EQ(type, row.type);
  }
  EXPECT_EQ(Get(key, "FIRST").data, "uno\0"s);
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesTheStoreCannotHoldAreRefused) {
  HKEY key = Open("HKLM\\N");
  HKEY out = nullptr;
  const std::string longName(256, 'k');
  EXPECT_EQ(RegCreateKeyEx(key, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyEx(key, "line\nbreak", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(key, "line\nbreak", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(key, "V", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Get(nullptr, "V").rc, ERROR_INVALID_HANDLE);
  RegCloseKey(key);
}

}  // namespace
