// How code running inside an operation talks to the host: status line,
// percentage, and the cooperative cancel check.
#pragma once
#include "afx/WinTypes.h"
#include "plugin/Exports.h"

// Sends string-table text `id` as the status line (nothing when the window is null).
void SetStatus(const OperationParams& params, UINT id);
// Sends a literal status line.
void SetStatusText(const OperationParams& params, const char* text);
// Sends the percentage 0..100.
void SetProgress(const OperationParams& params, int percent);
// Throws CUserException when the host has signalled the cancel event.
void CheckCancel(const OperationParams& params);
