#include "plugin/Dispatch.h"

#include <cstring>

#include "afx/Exception.h"
#include "afx/Format.h"
#include "afx/Ui.h"
#include "device/LSDeviceException.h"
#include "plugin/GarnexApp.h"
#include "plugin/Progress.h"
#include "port/SerialComException.h"

namespace {
constexpr UINT IDS_CANCELED = 105;
constexpr UINT IDS_FAILED = 106;
constexpr UINT IDS_ERROR_HEADING = 157;
constexpr UINT kReportFlags = MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND;
}  // namespace

bool IsValidPortNumber(int port) { return port >= 1 && port <= 1024; }

void ReportError(const char* message, HWND owner) {
  const CString text = FormatString(IDS_ERROR_HEADING, GetGarnexApp().Version(), message ? message : "");
  const char* title = AfxGetModuleState()->m_pszAppName;
  MessageBox(owner, text.c_str(), title ? title : "", kReportFlags);
}

int RunOperation(COperation* operation, OperationParams* params) {
  int result = 0;
  try {
    if (operation->Run(params)) {
      result = 1;
      char text[256] = {};
      operation->GetText(TEXT_SUCCESS, text, 255);
      SetStatusText(*params, text);
    }
  } catch (const CUserException&) {
    result = 2;
    SetStatus(*params, IDS_CANCELED);
  } catch (const CException& e) {
    // A silent device failure stands for one that has already been shown.
    const auto* device = dynamic_cast<const CLSDeviceException*>(&e);
    const auto* port = dynamic_cast<const CSerialComException*>(&e);
    if ((device == nullptr || !device->IsSilent()) && (port == nullptr || !port->WasShown())) {
      char message[256] = {};
      e.GetErrorMessage(message, 255);
      ReportError(message, params->window);
    }
    result = 0;
    SetStatus(*params, IDS_FAILED);
  }
  return result;
}
