#include "host/RegCommand.h"

#include <cstdlib>
#include <cstring>

#include "afx/Registry.h"
#include "afx/String.h"

namespace {

struct RegArgs {
  std::string key;
  std::string name;
  bool hasName = false;
  std::string type = "REG_SZ";
  std::string data;
  bool force = false;
};

bool ParseRegArgs(const std::vector<std::string>& args, size_t from, RegArgs* r, std::string* error) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string a = CString(args[i]).MakeUpper();
    auto value = [&](const char* opt) -> bool {
      if (i + 1 >= args.size()) {
        *error = std::string(opt) + " needs a value";
        return false;
      }
      return true;
    };
    if (a == "/V") {
      if (!value("/v")) return false;
      r->name = args[++i];
      r->hasName = true;
    } else if (a == "/VE") {
      r->name.clear();
      r->hasName = true;
    } else if (a == "/T") {
      if (!value("/t")) return false;
      r->type = CString(args[++i]).MakeUpper();
    } else if (a == "/D") {
      if (!value("/d")) return false;
      r->data = args[++i];
    } else if (a == "/F") {
      r->force = true;
    } else if (r->key.empty() && a[0] != '/') {
      r->key = args[i];
    } else {
      *error = "unexpected argument " + args[i];
      return false;
    }
  }
  if (r->key.empty()) {
    *error = "a registry key is required";
    return false;
  }
  return true;
}

std::string LastError(LONG rc) {
  const std::string detail = afx::RegistryLastError();
  if (!detail.empty()) return detail;
  switch (rc) {
    case ERROR_FILE_NOT_FOUND: return "The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_BADDB: return "The registry store cannot be read.";
    default: return "The registry operation failed (error " + std::to_string(rc) + ").";
  }
}

bool Confirm(bool interactive, std::FILE* in, std::FILE* out, const std::string& question) {
  if (!interactive || !in) return false;
  std::fprintf(out, "%s (Yes/No)? ", question.c_str());
  std::fflush(out);
  char line[64];
  if (!std::fgets(line, sizeof line, in)) return false;
  return line[0] == 'y' || line[0] == 'Y';
}

void PrintValue(std::FILE* out, const char* name, DWORD type, const BYTE* data, DWORD size) {
  const char* shown = (name && *name) ? name : "(Default)";
  if (type == REG_DWORD && size == 4) {
    DWORD v = 0;
    std::memcpy(&v, data, 4);
    std::fprintf(out, "    %s    REG_DWORD    0x%x\n", shown, v);
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string s(reinterpret_cast<const char*>(data), size);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    std::fprintf(out, "    %s    %s    %s\n", shown, type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ", s.c_str());
  } else {
    std::fprintf(out, "    %s    REG_BINARY    ", shown);
    for (DWORD i = 0; i < size; ++i) std::fprintf(out, "%02X", data[i]);
    std::fprintf(out, "\n");
  }
}

int Query(const RegArgs& r, std::FILE* out, std::FILE* err) {
  HKEY key = nullptr;
  LONG rc = afx::RegOpenKeyPath(r.key, KEY_READ, &key, false);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
    return 1;
  }
  std::fprintf(out, "\n%s\n", r.key.c_str());
  std::vector<BYTE> data(1 << 16);
  if (r.hasName) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    rc = RegQueryValueEx(key, r.name.c_str(), nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS) {
      RegCloseKey(key);
      std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
      return 1;
    }
    PrintValue(out, r.name.c_str(), type, data.data(), size);
    RegCloseKey(key);
    return 0;
  }
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameLen = sizeof name;
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    rc = RegEnumValue(key, i, name, &nameLen, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS) break;
    PrintValue(out, name, type, data.data(), size);
  }
  std::fprintf(out, "\n");
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameLen = sizeof name;
    rc = RegEnumKeyEx(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    std::fprintf(out, "%s\\%s\n", r.key.c_str(), name);
  }
  RegCloseKey(key);
  return 0;
}

int Add(const RegArgs& r, bool interactive, std::FILE* in, std::FILE* out, std::FILE* err) {
  HKEY key = nullptr;
  LONG rc = afx::RegOpenKeyPath(r.key, KEY_ALL_ACCESS, &key, true);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
    return 1;
  }
  if (r.hasName) {
    DWORD size = 0;
    const bool exists = RegQueryValueEx(key, r.name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (exists && !r.force &&
        !Confirm(interactive, in, out, "Value " + (r.name.empty() ? std::string("(Default)") : r.name) + " exists, overwrite")) {
      RegCloseKey(key);
      std::fprintf(err, "ERROR: the value exists; use /f to overwrite it.\n");
      return 1;
    }
    if (r.type == "REG_DWORD") {
      char* end = nullptr;
      const unsigned long long v = std::strtoull(r.data.c_str(), &end, 0);
      if (r.data.empty() || *end != '\0' || v > 0xFFFFFFFFull) {
        RegCloseKey(key);
        std::fprintf(err, "ERROR: invalid REG_DWORD data \"%s\".\n", r.data.c_str());
        return 64;
      }
      const DWORD d = static_cast<DWORD>(v);
      rc = RegSetValueEx(key, r.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
    } else if (r.type == "REG_SZ") {
      rc = RegSetValueEx(key, r.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(r.data.c_str()),
                         static_cast<DWORD>(r.data.size() + 1));
    } else {
      RegCloseKey(key);
      std::fprintf(err, "ERROR: unsupported type %s (REG_SZ or REG_DWORD).\n", r.type.c_str());
      return 64;
    }
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
    return 1;
  }
  std::fprintf(out, "The operation completed successfully.\n");
  return 0;
}

LONG DeleteTree(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyEx(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    char child[16384];
    DWORD len = sizeof child;
    if (RegEnumKeyEx(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    rc = DeleteTree(key, std::string(child, len));
    if (rc != ERROR_SUCCESS) {
      RegCloseKey(key);
      return rc;
    }
  }
  RegCloseKey(key);
  return RegDeleteKey(parent, name.c_str());
}

int Delete(const RegArgs& r, bool interactive, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (!r.force && !Confirm(interactive, in, out,
                           r.hasName ? "Delete the registry value " + r.name : "Permanently delete the registry key " + r.key)) {
    std::fprintf(err, "ERROR: not confirmed; use /f to delete without asking.\n");
    return 1;
  }
  LONG rc;
  if (r.hasName) {
    HKEY key = nullptr;
    rc = afx::RegOpenKeyPath(r.key, KEY_ALL_ACCESS, &key, false);
    if (rc == ERROR_SUCCESS) {
      rc = RegDeleteValue(key, r.name.c_str());
      RegCloseKey(key);
    }
  } else {
    const size_t slash = r.key.find_last_of('\\');
    if (slash == std::string::npos) {
      std::fprintf(err, "ERROR: a root key cannot be deleted.\n");
      return 1;
    }
    HKEY parent = nullptr;
    rc = afx::RegOpenKeyPath(r.key.substr(0, slash), KEY_ALL_ACCESS, &parent, false);
    if (rc == ERROR_SUCCESS) {
      rc = DeleteTree(parent, r.key.substr(slash + 1));
      RegCloseKey(parent);
    }
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
    return 1;
  }
  std::fprintf(out, "The operation completed successfully.\n");
  return 0;
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args, bool interactive, std::FILE* in, std::FILE* out,
                  std::FILE* err) {
  const std::string sub = CString(args.at(0)).MakeLower();
  std::string error;
  if (sub == "import" || sub == "export") {
    const size_t need = sub == "import" ? 2 : 3;
    if (args.size() != need) {
      std::fprintf(err, "usage: talvern reg %s\n", sub == "import" ? "import FILE.reg" : "export KEY FILE.reg");
      return 64;
    }
    const LONG rc = sub == "import" ? afx::RegistryImport(args[1]) : afx::RegistryExport(args[1], args[2]);
    if (rc != ERROR_SUCCESS) {
      std::fprintf(err, "ERROR: %s\n", LastError(rc).c_str());
      return 1;
    }
    std::fprintf(out, "The operation completed successfully.\n");
    return 0;
  }
  RegArgs r;
  if (!ParseRegArgs(args, 1, &r, &error)) {
    std::fprintf(err, "talvern reg %s: %s\n", sub.c_str(), error.c_str());
    return 64;
  }
  if (sub == "query") return Query(r, out, err);
  if (sub == "add") return Add(r, interactive, in, out, err);
  if (sub == "delete") return Delete(r, interactive, in, out, err);
  std::fprintf(err, "talvern reg: unknown subcommand %s (query, add, delete, import, export)\n", sub.c_str());
  return 64;
}
