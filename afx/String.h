// CString: the framework's string, a std::string with the few members the
// plug-in's code uses. Single-byte text throughout.
#pragma once
#include <cstdarg>
#include <string>
#include <string_view>

#include "afx/Printf.h"

class CString : public std::string {
 public:
  CString() = default;
  CString(const char* s) : std::string(s ? s : "") {}  // NOLINT: implicit like the framework's
  CString(const std::string& s) : std::string(s) {}     // NOLINT
  CString(std::string&& s) : std::string(std::move(s)) {}  // NOLINT
  CString(std::string_view s) : std::string(s) {}       // NOLINT
  CString(const char* s, int n) : std::string(s, static_cast<size_t>(n)) {}
  CString(char c, int n) : std::string(static_cast<size_t>(n), c) {}

  int GetLength() const { return static_cast<int>(size()); }
  bool IsEmpty() const { return empty(); }
  void Empty() { clear(); }
  operator const char*() const { return c_str(); }  // NOLINT
  char GetAt(int i) const { return at(static_cast<size_t>(i)); }

  // printf-style formatting into this string; never truncates.
  void Format(const char* fmt, ...) AFX_PRINTF_FORMAT(2, 3);
  void FormatV(const char* fmt, va_list args);

  CString Left(int n) const;
  CString Right(int n) const;
  CString Mid(int first) const;
  CString Mid(int first, int n) const;
  int Find(char c, int start = 0) const;
  int Find(const char* sub, int start = 0) const;
  int ReverseFind(char c) const;
  CString& MakeUpper();
  CString& MakeLower();
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim() { TrimRight(); return TrimLeft(); }
  int Replace(const char* from, const char* to);
  int CompareNoCase(const char* other) const;
};
