#include "plugin/Progress.h"

#include <cstring>
#include <memory>

#include "afx/Exception.h"
#include "afx/Module.h"
#include "afx/Window.h"

void SetStatus(const OperationParams& params, UINT id) {
  if (params.window == nullptr) return;
  SetStatusText(params, AfxLoadString(id).c_str());
}

void SetStatusText(const OperationParams& params, const char* text) {
  if (params.window == nullptr) return;
  // The host sees a private copy that lives only for the synchronous send.
  const size_t n = std::strlen(text ? text : "");
  auto copy = std::make_unique<char[]>(n + 1);
  std::memcpy(copy.get(), text ? text : "", n + 1);
  SendMessage(params.window, UM_STATUS_TEXT, 0, reinterpret_cast<LPARAM>(copy.get()));
}

void SetProgress(const OperationParams& params, int percent) {
  if (params.window == nullptr) return;
  SendMessage(params.window, UM_PROGRESS, 0, percent);
}

void CheckCancel(const OperationParams& params) {
  if (WaitForSingleObject(params.cancelEvent, 0) == WAIT_OBJECT_0) AfxThrowUserException();
}
