#include "afx/String.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <strings.h>
#include <vector>

void CString::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatV(fmt, args);
  va_end(args);
}

void CString::FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n < 0) {
    clear();
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(n) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
  assign(buffer.data(), static_cast<size_t>(n));
}

CString CString::Left(int n) const {
  if (n <= 0) return {};
  return CString(substr(0, static_cast<size_t>(n)));
}

CString CString::Right(int n) const {
  if (n <= 0) return {};
  const size_t count = std::min(size(), static_cast<size_t>(n));
  return CString(substr(size() - count));
}

CString CString::Mid(int first) const {
  if (first < 0) first = 0;
  if (static_cast<size_t>(first) >= size()) return {};
  return CString(substr(static_cast<size_t>(first)));
}

CString CString::Mid(int first, int n) const {
  if (first < 0) first = 0;
  if (n <= 0 || static_cast<size_t>(first) >= size()) return {};
  return CString(substr(static_cast<size_t>(first), static_cast<size_t>(n)));
}

int CString::Find(char c, int start) const {
  if (start < 0) start = 0;
  const size_t pos = find(c, static_cast<size_t>(start));
  return pos == npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const {
  if (start < 0) start = 0;
  const size_t pos = find(sub ? sub : "", static_cast<size_t>(start));
  return pos == npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char c) const {
  const size_t pos = rfind(c);
  return pos == npos ? -1 : static_cast<int>(pos);
}

CString& CString::MakeUpper() {
  for (char& c : *this) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}

CString& CString::MakeLower() {
  for (char& c : *this) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < size() && std::isspace(static_cast<unsigned char>((*this)[i]))) ++i;
  erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = size();
  while (n > 0 && std::isspace(static_cast<unsigned char>((*this)[n - 1]))) --n;
  resize(n);
  return *this;
}

int CString::Replace(const char* from, const char* to) {
  const std::string f = from ? from : "";
  const std::string t = to ? to : "";
  if (f.empty()) return 0;
  int count = 0;
  size_t pos = 0;
  while ((pos = find(f, pos)) != npos) {
    replace(pos, f.size(), t);
    pos += t.size();
    ++count;
  }
  return count;
}

int CString::CompareNoCase(const char* other) const { return strcasecmp(c_str(), other ? other : ""); }
