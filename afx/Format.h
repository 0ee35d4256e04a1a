// printf-style formatting with arguments checked against the conversions at
// run time: string-table formats are data, so the compiler cannot check them.
// A conversion whose argument is missing or of the wrong kind is written as
// "<?>" and traced, never passed to printf.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "afx/Module.h"
#include "afx/String.h"

namespace afx {

struct FormatArg {
  enum Kind { Signed, Unsigned, Double, Text, Pointer } kind;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  const char* s = nullptr;
  const void* p = nullptr;
};

template <typename T>
FormatArg MakeFormatArg(const T& v) {
  FormatArg a{};
  if constexpr (std::is_same_v<T, bool>) {
    a.kind = FormatArg::Signed;
    a.i = v ? 1 : 0;
  } else if constexpr (std::is_enum_v<T>) {
    a.kind = FormatArg::Signed;
    a.i = static_cast<std::int64_t>(v);
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    a.kind = FormatArg::Signed;
    a.i = v;
  } else if constexpr (std::is_integral_v<T>) {
    a.kind = FormatArg::Unsigned;
    a.u = v;
  } else if constexpr (std::is_floating_point_v<T>) {
    a.kind = FormatArg::Double;
    a.d = v;
  } else if constexpr (std::is_convertible_v<T, const char*>) {
    a.kind = FormatArg::Text;
    a.s = static_cast<const char*>(v);
  } else if constexpr (std::is_convertible_v<T, std::string>) {
    a.kind = FormatArg::Text;
    a.s = v.c_str();
  } else if constexpr (std::is_pointer_v<T>) {
    a.kind = FormatArg::Pointer;
    a.p = v;
  } else {
    static_assert(sizeof(T) == 0, "unsupported format argument");
  }
  return a;
}

CString FormatChecked(const char* fmt, const std::vector<FormatArg>& args);

}  // namespace afx

// Formats literal `fmt` with checked arguments.
template <typename... Args>
CString FormatText(const char* fmt, const Args&... args) {
  return afx::FormatChecked(fmt, {afx::MakeFormatArg(args)...});
}

// Loads string `id` of the current module and formats it with checked arguments.
template <typename... Args>
CString FormatString(UINT id, const Args&... args) {
  CString fmt = AfxLoadString(id);
  return afx::FormatChecked(fmt.c_str(), {afx::MakeFormatArg(args)...});
}
