#include "afx/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace afx {
namespace {
std::mutex g_mutex;
TraceSink g_sink;

bool TraceToStderr() {
  static const bool enabled = std::getenv("TALVERN_TRACE") != nullptr;
  return enabled;
}
}  // namespace

TraceSink SetTraceSink(TraceSink sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  TraceSink previous = std::move(g_sink);
  g_sink = std::move(sink);
  return previous;
}

void TraceV(const char* fmt, va_list args) {
  TraceSink sink;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sink = g_sink;
  }
  // Formatting costs; skip it when nobody listens.
  if (!sink && !TraceToStderr()) return;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n < 0) return;
  std::vector<char> buffer(static_cast<size_t>(n) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
  std::string line(buffer.data(), static_cast<size_t>(n));
  if (sink) {
    sink(line);
  } else {
    std::fputs(line.c_str(), stderr);
    if (line.empty() || line.back() != '\n') std::fputc('\n', stderr);
  }
}
}  // namespace afx

void AfxTrace(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  afx::TraceV(fmt, args);
  va_end(args);
}
