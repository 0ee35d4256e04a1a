// The ten entry points. Each switches to the plug-in's module state and lets
// no exception out: the host is not ours and cannot be trusted to catch.
#include "plugin/Exports.h"

#include <cstring>

#include "afx/Exception.h"
#include "afx/Module.h"
#include "afx/Window.h"
#include "plugin/Dispatch.h"
#include "plugin/GarnexApp.h"
#include "res/Resources.h"

#define QZ_EXPORT extern "C" __attribute__((visibility("default")))

QZ_EXPORT int GetNumberOperations() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    return static_cast<int>(OperationList().size());
  } catch (...) {
    return 0;
  }
}

QZ_EXPORT BYTE GetOperation(int index, char* buffer, unsigned length) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    COperation* op = GetOperationAt(index);
    if (!op) return 0;
    CopyText(buffer, op->GetName(), length);
    return 1;
  } catch (...) {
    return 0;
  }
}

QZ_EXPORT BYTE GetDescription(int index, char* buffer, unsigned length) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    COperation* op = GetOperationAt(index);
    if (!op) return 0;
    CopyText(buffer, op->GetDescription(), length);
    return 1;
  } catch (...) {
    CopyText(buffer, "", length);
    return 0;
  }
}

QZ_EXPORT int GetNumberOfPages(int index) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    COperation* op = GetOperationAt(index);
    return op ? op->m_nPages : 0;
  } catch (...) {
    return 0;
  }
}

QZ_EXPORT void* GetPage(int index, int page) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    COperation* op = GetOperationAt(index);
    if (!op || page < 0 || page >= op->m_nPages) return nullptr;
    return op->GetPage(page);
  } catch (...) {
    return nullptr;
  }
}

QZ_EXPORT BYTE GetText(int index, int kind, char* buffer, unsigned length) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    COperation* op = GetOperationAt(index);
    if (!op || kind < 0 || kind >= 4) return 0;
    return op->GetText(static_cast<unsigned>(kind), buffer, length) ? 1 : 0;
  } catch (...) {
    CopyText(buffer, "", length);
    return 0;
  }
}

QZ_EXPORT int DoOperation(OperationParams* params) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    if (!params) return 0;
    int result = 0;
    COperation* op = GetOperationAt(params->operation);
    if (op && IsValidPortNumber(params->port)) result = RunOperation(op, params);
    PostMessage(params->window, UM_OPERATION_DONE, 0, 0);
    return result;
  } catch (...) {
    return 0;
  }
}

QZ_EXPORT BYTE PreInitialize(std::uint32_t) { return 1; }

QZ_EXPORT int GetBitmapID() { return static_cast<int>(res::IDB_PLUGIN); }

QZ_EXPORT BYTE GetVersionInfo(char* buffer, unsigned length) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  try {
    CString version;
    if (AfxQueryVersionString(AfxGetModuleState(), "FileVersion", &version))
      CopyText(buffer, version.c_str(), length);
  } catch (...) {
  }
  return 1;
}
