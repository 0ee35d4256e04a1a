// Diagnostic trace lines. They go to stderr when TALVERN_TRACE is set, and to
// whatever sink a test installs.
#pragma once
#include <cstdarg>
#include <functional>
#include <string>

#include "afx/Printf.h"

namespace afx {
using TraceSink = std::function<void(const std::string& line)>;
// Installs a sink (nullptr restores the default). Returns the previous one.
TraceSink SetTraceSink(TraceSink sink);
void TraceV(const char* fmt, va_list args);
}  // namespace afx

void AfxTrace(const char* fmt, ...) AFX_PRINTF_FORMAT(1, 2);
#define TRACE(...) AfxTrace(__VA_ARGS__)
