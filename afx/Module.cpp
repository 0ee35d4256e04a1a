#include "afx/Module.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "afx/Library.h"

namespace {
AFX_MODULE_STATE& AppState() {
  static AFX_MODULE_STATE state;
  return state;
}

thread_local AFX_MODULE_STATE* t_current = nullptr;

std::mutex g_modulesMutex;
std::vector<AFX_MODULE_STATE*>& Modules() {
  static std::vector<AFX_MODULE_STATE*> modules;
  return modules;
}
AFX_MODULE_STATE* g_lastAttached = nullptr;

const char* FindString(const AFX_MODULE_STATE* state, UINT id) {
  if (!state || !state->strings) return nullptr;
  const StringResource* first = state->strings;
  const StringResource* last = first + state->stringCount;
  const StringResource* it =
      std::lower_bound(first, last, id, [](const StringResource& r, UINT v) { return r.id < v; });
  return (it != last && it->id == id) ? it->text : nullptr;
}
}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() { return t_current ? t_current : &AppState(); }
AFX_MODULE_STATE* AfxGetAppModuleState() { return &AppState(); }

AFX_MAINTAIN_STATE::AFX_MAINTAIN_STATE(AFX_MODULE_STATE* state) : previous_(t_current) {
  t_current = state;
}
AFX_MAINTAIN_STATE::~AFX_MAINTAIN_STATE() { t_current = previous_; }

namespace afx {

void AttachModule(AFX_MODULE_STATE* state, const void* addressInLibrary) {
  const std::string file = ModuleFileOf(addressInLibrary);
  if (!file.empty()) {
    state->filePath = file;
    std::string name = state->filePath;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const size_t dot = name.find('.');
    if (dot != std::string::npos) name = name.substr(0, dot);
    // A test program links the plug-in's code statically; it then carries
    // the library's name all the same.
    if (state->appName.empty()) state->appName = name;
    // Where the library carries a version resource, that is its version.
    std::map<std::string, std::string> version;
    if (ReadVersionResource(file, &version)) state->versionStrings = std::move(version);
  }
  state->m_pszAppName = state->appName.c_str();
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  auto& modules = Modules();
  if (std::find(modules.begin(), modules.end(), state) == modules.end()) modules.push_back(state);
  g_lastAttached = state;
}

AFX_MODULE_STATE* LastAttachedModule() {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  return g_lastAttached;
}

void DetachModule(AFX_MODULE_STATE* state) {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  auto& modules = Modules();
  modules.erase(std::remove(modules.begin(), modules.end(), state), modules.end());
  if (g_lastAttached == state) g_lastAttached = nullptr;
}

const DialogTemplate* FindDialogTemplate(int id) {
  const AFX_MODULE_STATE* state = AfxGetModuleState();
  if (!state->dialogs) return nullptr;
  for (const DialogTemplate& t : *state->dialogs)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace afx

int LoadString(UINT id, char* buffer, int maxLen) {
  if (!buffer || maxLen <= 0) return 0;
  const char* text = FindString(AfxGetModuleState(), id);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  std::strncpy(buffer, text, static_cast<size_t>(maxLen) - 1);
  buffer[maxLen - 1] = '\0';
  return static_cast<int>(std::strlen(buffer));
}

CString AfxLoadString(UINT id) {
  const char* text = FindString(AfxGetModuleState(), id);
  return CString(text ? text : "");
}

DWORD AfxGetModuleFileName(char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const std::string& path = AfxGetModuleState()->filePath;
  std::strncpy(buffer, path.c_str(), size - 1);
  buffer[size - 1] = '\0';
  return static_cast<DWORD>(std::strlen(buffer));
}

bool AfxQueryVersionString(const AFX_MODULE_STATE* module, const char* key, CString* value) {
  if (!module || !key || !value) return false;
  auto it = module->versionStrings.find(key);
  if (it == module->versionStrings.end()) return false;
  *value = it->second;
  return true;
}
