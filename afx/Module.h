// Module state and resources. Each library that carries resources (the
// plug-in) registers one ModuleState with its string table, dialog templates,
// version strings and bitmaps; exports switch to it with AFX_MANAGE_STATE, and
// resource lookups use the state in force on the calling thread.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "afx/String.h"
#include "afx/WinTypes.h"

class CWinApp;

struct StringResource {
  UINT id;
  const char* text;
};

struct ControlTemplate {
  int id;
  const char* kind;     // static, edit, button, checkbox, radio, combobox, listbox, groupbox, picture, listctrl
  const char* caption;
  const char* style;    // space-separated words: notify wantkeys hidden readonly password default sort disabled
};

struct DialogTemplate {
  int id;
  const char* caption;
  std::vector<ControlTemplate> controls;
};

struct BitmapResource {
  UINT id;
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB, row by row
};

struct AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp = nullptr;
  const char* m_pszAppName = nullptr;  // the library's file name without extension
  std::string appName;
  std::string filePath;                // full path of the library file
  const StringResource* strings = nullptr;
  std::size_t stringCount = 0;
  const std::vector<DialogTemplate>* dialogs = nullptr;
  std::map<std::string, std::string> versionStrings;  // "FileVersion" -> "5.00b50"
  const BitmapResource* (*bitmap)(UINT id) = nullptr;
  bool initialised = false;
  bool initFailed = false;
};

// The state in force on this thread (the host's own when none was switched in).
AFX_MODULE_STATE* AfxGetModuleState();
// The host process's state, with no resources.
AFX_MODULE_STATE* AfxGetAppModuleState();

// Switches the thread's module state for the life of the object.
class AFX_MAINTAIN_STATE {
 public:
  explicit AFX_MAINTAIN_STATE(AFX_MODULE_STATE* state);
  ~AFX_MAINTAIN_STATE();
  AFX_MAINTAIN_STATE(const AFX_MAINTAIN_STATE&) = delete;
  AFX_MAINTAIN_STATE& operator=(const AFX_MAINTAIN_STATE&) = delete;

 private:
  AFX_MODULE_STATE* previous_;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE afxManageState_(p)

namespace afx {
// Fills `state` from the library that contains `addressInLibrary` (file path,
// app name) and remembers it as the most recently attached module.
void AttachModule(AFX_MODULE_STATE* state, const void* addressInLibrary);
// The module attached last, or nullptr; the host asks after dlopen whether
// its initialisation succeeded.
AFX_MODULE_STATE* LastAttachedModule();
// Every module attached and not yet detached.
void DetachModule(AFX_MODULE_STATE* state);
// Looks up a dialog template in the current module.
const DialogTemplate* FindDialogTemplate(int id);
}  // namespace afx

// Loads string `id` of the current module into `buffer` (strncpy-like, always
// terminated when maxLen > 0). Returns the length, 0 when absent.
int LoadString(UINT id, char* buffer, int maxLen);
// The text of string `id`, or "" when absent.
CString AfxLoadString(UINT id);
// The library's file path (GetModuleFileName for the current module).
DWORD AfxGetModuleFileName(char* buffer, DWORD size);
// The version string `key` ("FileVersion") of `module`'s own version
// resource; false when there is no module or no such key. Found through the
// module itself, so a path longer than any file-name buffer cannot lose it.
bool AfxQueryVersionString(const AFX_MODULE_STATE* module, const char* key, CString* value);
