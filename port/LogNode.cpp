#include "port/LogNode.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "afx/Clock.h"

CLogNode::CLogNode(CLogHub* hub) { Attach(hub); }

CLogNode::~CLogNode() { Detach(); }

void CLogNode::Attach(CLogHub* hub) {
  Detach();
  m_hub = hub;
  if (hub) hub->AddMember(this);
}

void CLogNode::Detach() {
  CLogHub* hub = m_hub.exchange(nullptr);
  if (hub) hub->RemoveMember(this);
}

void CLogNode::HubGone(CLogHub* hub) {
  CLogHub* expected = hub;
  m_hub.compare_exchange_strong(expected, nullptr);
}

void CLogNode::Emit(int level, const char* format, va_list args) {
  CLogHub* hub = m_hub.load();
  if (!hub) return;
  std::int64_t now = 0;
  std::int64_t frequency = 1;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const double elapsed = static_cast<double>(now - hub->StartCounter()) / static_cast<double>(frequency);
  const SYSTEMTIME& start = hub->StartTime();
  const double startOfDay = start.wHour * 3600.0 + start.wMinute * 60.0 + start.wSecond + start.wMilliseconds / 1000.0;
  // Whole milliseconds, so that a time of day never prints as 60.000 seconds.
  const long long dayMs = static_cast<long long>((startOfDay + elapsed) * 1000.0 + 0.5) % (24LL * 3600 * 1000);
  const int hours = static_cast<int>(dayMs / 3'600'000);
  const int minutes = static_cast<int>(dayMs / 60'000 % 60);
  const double seconds = static_cast<double>(dayMs % 60'000) / 1000.0;

  char line[kMaxLine + 1];
  const int prefix = std::snprintf(line, sizeof line, "\r\n%2i:%02i:%06.3f [%0.2f] ", hours, minutes, seconds, elapsed);
  if (prefix < 0 || static_cast<std::size_t>(prefix) >= sizeof line) return;
  const int message = std::vsnprintf(line + prefix, sizeof line - static_cast<std::size_t>(prefix), format, args);
  if (message < 0 || static_cast<std::size_t>(prefix + message) > kMaxLine) return;
  hub->Emit(line, level);
}

void CLogNode::Log0(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(0, format, args);
  va_end(args);
}

void CLogNode::Log1(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(1, format, args);
  va_end(args);
}

void CLogNode::Log2(const char* format, ...) {
  CLogHub* hub = m_hub.load();
  if (!hub || hub->HighestLevel() == 0) return;
  va_list args;
  va_start(args, format);
  Emit(2, format, args);
  va_end(args);
}

void CLogNode::Log3(const char* format, ...) {
  CLogHub* hub = m_hub.load();
  if (!hub || hub->HighestLevel() < 3) return;
  va_list args;
  va_start(args, format);
  Emit(3, format, args);
  va_end(args);
}

void CLogNode::LogBytes(const char* label, const BYTE* bytes, std::size_t count) {
  CLogHub* hub = m_hub.load();
  if (!hub || hub->HighestLevel() < 3) return;
  char head[kMaxLabel + 8];
  std::snprintf(head, sizeof head, "\r\n%.500s [", label ? label : "");
  std::string text = head;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < count; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
    text += ' ';
    if ((i + 1) % 32 == 0) text += "\r\n     ";
    else if ((i + 1) % 8 == 0) text += "- ";
    if (text.size() > kMaxDump && i + 1 < count) {
      text += "... ]";
      hub->Emit(text.c_str(), 3);
      return;
    }
  }
  text += "]";
  hub->Emit(text.c_str(), 3);
}
