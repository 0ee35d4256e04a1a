// The contract between the host and a device plug-in: the parameter block,
// the text kinds, the window messages and the ten exported entry points.
// This is the only plug-in header the host includes.
#pragma once
#include <cstdint>

#include "afx/WinTypes.h"

// Passed to DoOperation; operations keep copies of it.
struct OperationParams {
  std::int32_t port;       // COM number of the receiver's port, 1..1024
  std::int32_t operation;  // index in the operation list
  HWND window;             // receives status, progress and completion messages
  HANDLE cancelEvent;      // signalled by the host to stop the running operation
};

constexpr int TEXT_SUMMARY = 0;
constexpr int TEXT_CONNECT = 1;
constexpr int TEXT_ACTION = 2;
constexpr int TEXT_SUCCESS = 3;

constexpr UINT UM_STATUS_TEXT = WM_USER + 500;     // lParam: const char* text, valid during the send
constexpr UINT UM_PROGRESS = WM_USER + 501;        // lParam: percent 0..100
constexpr UINT UM_OPERATION_DONE = WM_USER + 503;  // posted once when DoOperation ends

// The exports, as the host resolves them with dlsym.
extern "C" {
using PFN_GetNumberOperations = int (*)();
using PFN_GetOperation = BYTE (*)(int index, char* buffer, unsigned length);
using PFN_GetDescription = BYTE (*)(int index, char* buffer, unsigned length);
using PFN_GetNumberOfPages = int (*)(int index);
using PFN_GetPage = void* (*)(int index, int page);  // a CPropertyPage*
using PFN_GetText = BYTE (*)(int index, int kind, char* buffer, unsigned length);
using PFN_DoOperation = int (*)(OperationParams* params);
using PFN_PreInitialize = BYTE (*)(std::uint32_t argument);
using PFN_GetVersionInfo = BYTE (*)(char* buffer, unsigned length);
using PFN_GetBitmapID = int (*)();
}
