// Runs an operation for DoOperation and turns its outcome into the result,
// the final status line and at most one message box.
#pragma once
#include "plugin/Operation.h"

// 1 success, 2 cancelled, 0 failure.
int RunOperation(COperation* operation, OperationParams* params);
// Shows `message` headed with the library's version, owned by `owner`.
void ReportError(const char* message, HWND owner);
bool IsValidPortNumber(int port);
