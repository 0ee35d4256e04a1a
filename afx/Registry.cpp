#include "afx/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "afx/File.h"
#include "afx/RegHive.h"
#include "afx/RegReader.h"
#include "afx/RegWriter.h"
#include "afx/RegistryKeyObject.h"
#include "afx/RegistrySnapshot.h"
#include "afx/RegistryStore.h"
#include "afx/System.h"
#include "afx/SystemRegistry.h"

namespace afx {
namespace {

constexpr REGSAM kIgnoredAccess = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// Everything the registry module owns; one mutex guards all of it.
struct RegistryState {
  std::mutex mutex;
  std::string path;  // fixed at first use unless set before
  std::unique_ptr<RegistryStore> store;
  std::unordered_map<HKEY, std::unique_ptr<RegistryKeyObject>> handles;
  RegistryKeyObject localMachine{RegHive::kLocalMachine, {}, KEY_ALL_ACCESS, true};
  RegistryKeyObject currentUser{RegHive::kCurrentUser, {}, KEY_ALL_ACCESS, true};
  int useSystem = -1;  // whether the system's registry is the store; -1 until first asked
};

RegistryState& State() {
  // Never destroyed: other libraries' static destructors may still close
  // keys at exit, after a function-local static would be gone.
  static union Immortal {
    Immortal() : state() {}
    ~Immortal() {}
    RegistryState state;
  } immortal;
  return immortal.state;
}

thread_local std::string lastError;

// The system's registry when it is the store in use: on a system that has
// one, unless a store file was chosen.
SystemRegistry* Native() {
  RegistryState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  if (s.useSystem < 0)
    s.useSystem = TheSystemRegistry() && s.path.empty() && GetEnvironment("TALVERN_REGISTRY").empty() ? 1 : 0;
  return s.useSystem ? TheSystemRegistry() : nullptr;
}

LONG Failed(LONG rc, const std::string& error) {
  if (rc != ERROR_SUCCESS && !error.empty()) lastError = error;
  return rc;
}

RegistryStore& Store(RegistryState& s) {
  if (!s.store) {
    if (s.path.empty()) s.path = DefaultRegistryPath();
    s.store = std::make_unique<RegistryStore>(s.path);
  }
  return *s.store;
}

LONG Refresh(RegistryState& s) {
  RegistryStore& store = Store(s);
  if (RegistrySnapshot::Active() && RegistrySnapshot::Checked() && store.Loaded()) return ERROR_SUCCESS;
  std::string error;
  const LONG rc = Failed(store.Refresh(error), error);
  if (rc == ERROR_SUCCESS) RegistrySnapshot::SetChecked();
  return rc;
}

LONG Modify(RegistryState& s, const RegistryStore::Change& change) {
  std::string error;
  return Failed(Store(s).Modify(change, error), error);
}

RegistryKeyObject* Lookup(RegistryState& s, HKEY key) {
  if (key == &s.localMachine || key == &s.currentUser) return key;
  auto it = s.handles.find(key);
  return it == s.handles.end() ? nullptr : it->second.get();
}

HKEY AddHandle(RegistryState& s, int root, std::vector<std::string> path, REGSAM sam) {
  auto object = std::make_unique<RegistryKeyObject>(root, std::move(path), sam & ~kIgnoredAccess,
                                                    false);
  HKEY handle = object.get();
  s.handles.emplace(handle, std::move(object));
  return handle;
}

// The handle's key in `hive`, or null (and the handle marked) when it is gone.
template <typename Hive>
auto FindLive(Hive& hive, RegistryKeyObject& key) -> decltype(hive.Find(0, {})) {
  if (key.Deleted()) return nullptr;
  auto node = hive.FindFolded(key.Root(), key.FoldedPath());
  if (!node) key.MarkDeleted();
  return node;
}

// The open handle behind `key`, checked for the access `right` asks for.
LONG Check(RegistryState& s, HKEY key, DWORD right, RegistryKeyObject*& object) {
  object = Lookup(s, key);
  if (!object) return ERROR_INVALID_HANDLE;
  if (!object->Allows(right)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// The same, then the handle's key in the hive brought up to date, for reading.
LONG CheckForRead(RegistryState& s, HKEY key, DWORD right, RegistryKeyObject*& object,
                  const RegKeyNode*& node) {
  node = nullptr;
  if (LONG rc = Check(s, key, right, object); rc != ERROR_SUCCESS) return rc;
  if (LONG rc = Refresh(s); rc != ERROR_SUCCESS) return rc;
  const RegistryStore& store = Store(s);
  if (!object->Deleted()) node = object->CachedNode(store.Generation());
  if (node) return ERROR_SUCCESS;
  node = FindLive(store.Hive(), *object);
  if (!node) return ERROR_KEY_DELETED;
  object->CacheNode(node, store.Generation());
  return ERROR_SUCCESS;
}

// Empty parts are skipped, so "A\\B", "A\\B\\" and "\\A\\B" name the same key.
std::vector<std::string> SplitPath(const char* subKey) {
  std::vector<std::string> parts;
  if (!subKey) return parts;
  std::string_view rest(subKey);
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    if (!part.empty()) parts.emplace_back(part);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return parts;
}

// What the store file can hold and read back.
bool PrintableName(std::string_view name) {
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) return false;
  }
  return true;
}

LONG CopyData(const RegValue& value, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (type) *type = value.type;
  auto needed = static_cast<DWORD>(value.data.size());
  if (data) {
    if (!dataSize) return ERROR_INVALID_PARAMETER;
    if (*dataSize < needed) {
      *dataSize = needed;
      return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, value.data.data(), needed);
  }
  if (dataSize) *dataSize = needed;
  return ERROR_SUCCESS;
}

// Splits "HKLM\\A\\B" into its root and the rest.
bool SplitFullPath(const std::string& fullPath, int& root, std::string& rest) {
  size_t cut = fullPath.find('\\');
  root = RegHive::RootIndex(std::string_view(fullPath).substr(0, cut));
  rest = cut == std::string::npos ? std::string() : fullPath.substr(cut + 1);
  if (root < 0) lastError = fullPath + ": expected HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER";
  return root >= 0;
}

// The system's registry has no file to merge into: the keys a .reg file
// names are read into a hive, the file is applied to a copy, and what
// differs is written back through the Reg* calls.
LONG ReadTree(HKEY key, RegKeyNode& node, size_t depth) {
  std::vector<BYTE> data(4096);
  std::vector<char> name(16384);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = 0, type = 0, size = 0;
    LONG rc;
    do {
      nameLen = static_cast<DWORD>(name.size());
      size = static_cast<DWORD>(data.size());
      rc = RegEnumValue(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
      if (rc == ERROR_MORE_DATA) data.resize(std::max<size_t>(size, data.size() * 2));
    } while (rc == ERROR_MORE_DATA);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    node.SetValue(std::string(name.data(), nameLen), type, std::vector<BYTE>(data.begin(), data.begin() + size));
  }
  if (depth >= RegHive::kMaxDepth) return ERROR_SUCCESS;
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    LONG rc = RegEnumKeyEx(key, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    const std::string child(name.data(), nameLen);
    HKEY sub = nullptr;
    if (RegOpenKeyEx(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    rc = ReadTree(sub, node.AddSubkey(child), depth + 1);
    RegCloseKey(sub);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

LONG DeleteTree(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyEx(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    char child[256];
    DWORD len = sizeof child;
    if (RegEnumKeyEx(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    rc = DeleteTree(key, std::string(child, len));
    if (rc != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? RegDeleteKey(parent, name.c_str()) : rc;
}

// Makes the key `key` (which held `before`) hold `after`.
LONG WriteDifference(HKEY key, const RegKeyNode& before, const RegKeyNode& after) {
  for (size_t i = 0; i < before.SubkeyCount(); ++i)
    if (!after.FindSubkey(before.Subkey(i).Name()))
      if (LONG rc = DeleteTree(key, before.Subkey(i).Name()); rc != ERROR_SUCCESS) return rc;
  for (size_t i = 0; i < before.ValueCount(); ++i)
    if (!after.FindValue(before.Value(i).name))
      if (LONG rc = RegDeleteValue(key, before.Value(i).name.c_str()); rc != ERROR_SUCCESS) return rc;
  for (size_t i = 0; i < after.ValueCount(); ++i) {
    const RegValue& value = after.Value(i);
    const RegValue* old = before.FindValue(value.name);
    if (old && old->name == value.name && old->type == value.type && old->data == value.data) continue;
    const LONG rc = RegSetValueEx(key, value.name.c_str(), 0, value.type, value.data.data(),
                                  static_cast<DWORD>(value.data.size()));
    if (rc != ERROR_SUCCESS) return rc;
  }
  static const RegKeyNode kEmpty;
  for (size_t i = 0; i < after.SubkeyCount(); ++i) {
    const RegKeyNode& child = after.Subkey(i);
    const RegKeyNode* old = before.FindSubkey(child.Name());
    if (old && *old == child) continue;
    HKEY sub = nullptr;
    LONG rc = RegCreateKeyEx(key, child.Name().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &sub, nullptr);
    if (rc == ERROR_SUCCESS) rc = WriteDifference(sub, old ? *old : kEmpty, child);
    if (sub) RegCloseKey(sub);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

// The key paths that the section lines of a .reg text name, deleted ones too.
std::vector<std::string> SectionPaths(std::string_view text) {
  std::vector<std::string> paths;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.size() < 3 || line.front() != '[' || line.back() != ']') continue;
    line = line.substr(1, line.size() - 2);
    if (!line.empty() && line.front() == '-') line.remove_prefix(1);
    paths.emplace_back(line);
  }
  return paths;
}

LONG ImportIntoSystem(const std::string& text, const std::string& regFile) {
  RegHive before;
  for (const std::string& path : SectionPaths(text)) {
    int root = 0;
    std::string rest;
    if (!SplitFullPath(path, root, rest)) continue;  // the reader names the fault
    RegKeyNode* node = &before.Root(root);
    for (const auto& part : SplitPath(rest.c_str())) node = &node->AddSubkey(part);
    HKEY key = nullptr;
    if (RegOpenKeyPath(path, KEY_READ, &key, false) != ERROR_SUCCESS) continue;
    node->Clear();
    const LONG rc = ReadTree(key, *node, 0);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return Failed(rc, path + ": cannot be read");
  }
  RegHive after = before;
  std::string parseError;
  if (!RegReader::Apply(text, regFile, after, parseError)) return Failed(ERROR_BAD_FORMAT, parseError);
  for (int root = 0; root < RegHive::kRootCount; ++root) {
    const LONG rc = WriteDifference(PredefinedKey(root == RegHive::kLocalMachine ? 0x80000002u : 0x80000001u),
                                    before.Root(root), after.Root(root));
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

LONG ExportFromSystem(const std::string& keyPath, const std::string& regFile) {
  int root = 0;
  std::string rest;
  if (!SplitFullPath(keyPath, root, rest)) return ERROR_BADKEY;
  HKEY key = nullptr;
  if (LONG rc = RegOpenKeyPath(keyPath, KEY_READ, &key, false); rc != ERROR_SUCCESS) return rc;
  std::string canonical = RegHive::RootName(root);
  for (const auto& part : SplitPath(rest.c_str())) canonical += "\\" + part;
  RegKeyNode node;
  const LONG rc = ReadTree(key, node, 0);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  std::string error;
  return Failed(RegistryStore::WriteFileAtomically(regFile, RegWriter::WriteKey(node, canonical), error), error);
}

}  // namespace

HKEY PredefinedKey(std::uintptr_t which) {
  RegistryState& s = State();
  if (which == 0x80000002u) return &s.localMachine;
  if (which == 0x80000001u) return &s.currentUser;
  return nullptr;
}

void SetRegistryPath(const std::string& path) {
  RegistryState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  s.path = path;
  s.store.reset();
  s.useSystem = -1;
  // Keys found in the old store's hive are gone with it.
  s.localMachine.CacheNode(nullptr, 0);
  s.currentUser.CacheNode(nullptr, 0);
  for (auto& [handle, open] : s.handles) open->CacheNode(nullptr, 0);
}

std::string GetRegistryPath() {
  RegistryState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  return s.path.empty() ? DefaultRegistryPath() : s.path;
}

std::string DefaultRegistryPath() {
  const std::string explicitPath = GetEnvironment("TALVERN_REGISTRY");
  if (!explicitPath.empty()) return explicitPath;
  const std::string config = UserConfigFolder();
  if (config.empty()) return "registry.reg";
  return CFile::JoinPath(CFile::JoinPath(config.c_str(), "talvern").c_str(), "registry.reg");
}

std::string RegistryLocation() { return Native() ? std::string("the system's registry") : GetRegistryPath(); }

bool RegistryStoreExists(const std::string& keyPath) {
  if (!Native()) return PathExists(GetRegistryPath());
  HKEY key = nullptr;
  if (RegOpenKeyPath(keyPath, KEY_READ, &key, false) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string RegistryLastError() { return lastError; }

LONG RegistryImport(const std::string& regFile) {
  std::string text, error;
  bool missing = false;
  LONG rc = RegistryStore::ReadFile(regFile, text, missing, error);
  if (rc != ERROR_SUCCESS) return Failed(rc, error);
  if (missing) return Failed(ERROR_FILE_NOT_FOUND, regFile + ": no such file");
  if (Native()) return ImportIntoSystem(text, regFile);

  RegistryState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  std::string parseError;
  rc = Modify(s, [&](RegHive& hive, bool& changed) {
    // A faulty file must leave nothing of itself behind.
    RegHive merged = hive;
    if (!RegReader::Apply(text, regFile, merged, parseError)) return ERROR_BAD_FORMAT;
    changed = !(merged == hive);
    hive = std::move(merged);
    return ERROR_SUCCESS;
  });
  return Failed(rc, parseError);
}

LONG RegistryExport(const std::string& keyPath, const std::string& regFile) {
  if (Native()) return ExportFromSystem(keyPath, regFile);
  int root = 0;
  std::string rest;
  if (!SplitFullPath(keyPath, root, rest)) return ERROR_BADKEY;
  RegistryState& s = State();
  std::lock_guard<std::mutex> guard(s.mutex);
  if (LONG rc = Refresh(s); rc != ERROR_SUCCESS) return rc;
  const RegKeyNode* node = &Store(s).Hive().Root(root);
  std::string canonical = RegHive::RootName(root);
  for (const auto& part : SplitPath(rest.c_str())) {
    node = node->FindSubkey(part);
    if (!node) return ERROR_FILE_NOT_FOUND;
    canonical += "\\" + node->Name();
  }
  std::string error;
  return Failed(RegistryStore::WriteFileAtomically(regFile, RegWriter::WriteKey(*node, canonical),
                                                   error),
                error);
}

LONG RegOpenKeyPath(const std::string& fullPath, REGSAM sam, HKEY* result, bool create) {
  if (result) *result = nullptr;
  int root = 0;
  std::string rest;
  if (!SplitFullPath(fullPath, root, rest)) return ERROR_BADKEY;
  HKEY base = PredefinedKey(root == RegHive::kLocalMachine ? 0x80000002u : 0x80000001u);
  if (create)
    return RegCreateKeyEx(base, rest.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                          result, nullptr);
  return RegOpenKeyEx(base, rest.c_str(), 0, sam, result);
}

}  // namespace afx

using afx::RegistryKeyObject;
using afx::RegKeyNode;
using afx::RegHive;

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD /*options*/, REGSAM sam, HKEY* result) {
  if (auto* native = afx::Native()) return native->OpenKey(key, subKey, sam, result);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* parent = nullptr;
  const RegKeyNode* node = nullptr;
  if (LONG rc = afx::CheckForRead(s, key, 0, parent, node); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> path = parent->Path();
  for (const auto& part : afx::SplitPath(subKey)) {
    node = node->FindSubkey(part);
    if (!node) return ERROR_FILE_NOT_FOUND;
    path.push_back(node->Name());
  }
  *result = afx::AddHandle(s, parent->Root(), std::move(path), sam);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD /*reserved*/, char* /*className*/,
                    DWORD /*options*/, REGSAM sam, void* /*security*/, HKEY* result,
                    DWORD* disposition) {
  if (auto* native = afx::Native()) return native->CreateKey(key, subKey, sam, result, disposition);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* parent = nullptr;
  if (LONG rc = afx::Check(s, key, 0, parent); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts = afx::SplitPath(subKey);
  for (const auto& part : parts) {
    if (part.size() > RegHive::kMaxKeyNameLength || !afx::PrintableName(part))
      return ERROR_INVALID_PARAMETER;
  }
  if (parent->Path().size() + parts.size() > RegHive::kMaxDepth) return ERROR_INVALID_PARAMETER;

  if (LONG rc = afx::Refresh(s); rc != ERROR_SUCCESS) return rc;
  // Opening an existing key needs no write to the store.
  const RegKeyNode* node = afx::FindLive(afx::Store(s).Hive(), *parent);
  if (!node) return ERROR_KEY_DELETED;
  for (size_t i = 0; node && i < parts.size(); ++i) node = node->FindSubkey(parts[i]);
  if (!node && !parent->Allows(KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;

  std::vector<std::string> path;
  bool created = false;
  LONG rc = afx::Modify(s, [&](RegHive& hive, bool& changed) {
    RegKeyNode* at = afx::FindLive(hive, *parent);
    if (!at) return ERROR_KEY_DELETED;
    path = parent->Path();
    for (const auto& part : parts) {
      bool added = false;
      at = &at->AddSubkey(part, &added);
      created = created || added;
      path.push_back(at->Name());
    }
    changed = created;
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) return rc;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = afx::AddHandle(s, parent->Root(), std::move(path), sam);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (auto* native = afx::Native()) return native->CloseKey(key);
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  if (key == &s.localMachine || key == &s.currentUser) return ERROR_SUCCESS;
  return s.handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueEx(HKEY key, const char* name, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                     DWORD* dataSize) {
  if (auto* native = afx::Native()) return native->QueryValue(key, name, type, data, dataSize);
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  const RegKeyNode* node = nullptr;
  if (LONG rc = afx::CheckForRead(s, key, KEY_QUERY_VALUE, object, node); rc != ERROR_SUCCESS) return rc;
  const afx::RegValue* value = node->FindValue(name ? name : "");
  if (!value) return ERROR_FILE_NOT_FOUND;
  return afx::CopyData(*value, type, data, dataSize);
}

LONG RegSetValueEx(HKEY key, const char* name, DWORD /*reserved*/, DWORD type, const BYTE* data,
                   DWORD dataSize) {
  if (auto* native = afx::Native()) return native->SetValue(key, name, type, data, dataSize);
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  std::string valueName = name ? name : "";
  if (!afx::PrintableName(valueName)) return ERROR_INVALID_PARAMETER;
  std::vector<BYTE> bytes(data, data + (data ? dataSize : 0));
  // Strings read back NUL-terminated even when the caller counted without it.
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && (bytes.empty() || bytes.back() != 0))
    bytes.push_back(0);
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  if (LONG rc = afx::Check(s, key, KEY_SET_VALUE, object); rc != ERROR_SUCCESS) return rc;
  return afx::Modify(s, [&](RegHive& hive, bool& changed) {
    RegKeyNode* node = afx::FindLive(hive, *object);
    if (!node) return ERROR_KEY_DELETED;
    changed = node->SetValue(valueName, type, std::move(bytes));
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValue(HKEY key, const char* name) {
  if (auto* native = afx::Native()) return native->DeleteValue(key, name);
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  if (LONG rc = afx::Check(s, key, KEY_SET_VALUE, object); rc != ERROR_SUCCESS) return rc;
  return afx::Modify(s, [&](RegHive& hive, bool& changed) {
    RegKeyNode* node = afx::FindLive(hive, *object);
    if (!node) return ERROR_KEY_DELETED;
    if (!node->RemoveValue(name ? name : "")) return ERROR_FILE_NOT_FOUND;
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
  if (auto* native = afx::Native()) return native->DeleteKey(key, subKey);
  if (!subKey) return ERROR_INVALID_PARAMETER;
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  if (LONG rc = afx::Check(s, key, 0, object); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts = afx::SplitPath(subKey);
  if (object->Path().empty() && parts.empty()) return ERROR_ACCESS_DENIED;  // a root

  std::vector<std::string> gone;
  LONG rc = afx::Modify(s, [&](RegHive& hive, bool& changed) {
    RegKeyNode* at = afx::FindLive(hive, *object);
    if (!at) return ERROR_KEY_DELETED;
    std::vector<std::string> target = object->Path();
    if (parts.empty()) {
      // "" deletes the handle's own key.
      const auto& folded = object->FoldedPath();
      at = hive.FindFolded(object->Root(), std::vector<std::string>(folded.begin(), folded.end() - 1));
      if (!at) return ERROR_KEY_DELETED;
      parts.push_back(target.back());
      target.pop_back();
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      at = at->FindSubkey(parts[i]);
      if (!at) return ERROR_FILE_NOT_FOUND;
      target.push_back(at->Name());
    }
    const RegKeyNode* victim = at->FindSubkey(parts.back());
    if (!victim) return ERROR_FILE_NOT_FOUND;
    if (victim->SubkeyCount() > 0) return ERROR_ACCESS_DENIED;
    target.push_back(victim->Name());
    at->RemoveSubkey(parts.back());
    gone = std::move(target);
    changed = true;
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) return rc;
  for (auto& [handle, open] : s.handles) {
    const auto& path = open->Path();
    if (open->Root() != object->Root() || path.size() != gone.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < path.size(); ++i) same = RegKeyNode::SameName(path[i], gone[i]);
    if (same) open->MarkDeleted();
  }
  return ERROR_SUCCESS;
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* /*reserved*/,
                  char* className, DWORD* classLen, void* /*lastWrite: no write times are kept*/) {
  if (auto* native = afx::Native()) {
    if (classLen) {
      if (className && *classLen > 0) className[0] = '\0';
      *classLen = 0;
    }
    return native->EnumKey(key, index, name, nameLen);
  }
  if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  const RegKeyNode* node = nullptr;
  if (LONG rc = afx::CheckForRead(s, key, KEY_ENUMERATE_SUB_KEYS, object, node); rc != ERROR_SUCCESS) return rc;
  if (index >= node->SubkeyCount()) return ERROR_NO_MORE_ITEMS;
  const std::string& subName = node->Subkey(index).Name();
  if (*nameLen <= subName.size()) return ERROR_MORE_DATA;
  std::memcpy(name, subName.c_str(), subName.size() + 1);
  *nameLen = static_cast<DWORD>(subName.size());
  if (classLen) {
    if (className && *classLen > 0) className[0] = '\0';
    *classLen = 0;
  }
  return ERROR_SUCCESS;
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* /*reserved*/,
                  DWORD* type, BYTE* data, DWORD* dataSize) {
  if (auto* native = afx::Native()) return native->EnumValue(key, index, name, nameLen, type, data, dataSize);
  if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  const RegKeyNode* node = nullptr;
  if (LONG rc = afx::CheckForRead(s, key, KEY_QUERY_VALUE, object, node); rc != ERROR_SUCCESS) return rc;
  if (index >= node->ValueCount()) return ERROR_NO_MORE_ITEMS;
  const afx::RegValue& value = node->Value(index);
  if (*nameLen <= value.name.size()) return ERROR_MORE_DATA;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameLen = static_cast<DWORD>(value.name.size());
  return afx::CopyData(value, type, data, dataSize);
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values) {
  if (auto* native = afx::Native()) return native->QueryInfo(key, subKeys, maxSubKeyLen, values);
  auto& s = afx::State();
  std::lock_guard<std::mutex> guard(s.mutex);
  RegistryKeyObject* object = nullptr;
  const RegKeyNode* node = nullptr;
  if (LONG rc = afx::CheckForRead(s, key, KEY_QUERY_VALUE, object, node); rc != ERROR_SUCCESS) return rc;
  size_t longest = 0;
  for (size_t i = 0; i < node->SubkeyCount(); ++i)
    longest = std::max(longest, node->Subkey(i).Name().size());
  if (subKeys) *subKeys = static_cast<DWORD>(node->SubkeyCount());
  if (maxSubKeyLen) *maxSubKeyLen = static_cast<DWORD>(longest);
  if (values) *values = static_cast<DWORD>(node->ValueCount());
  return ERROR_SUCCESS;
}
