#include "afx/Format.h"

#include <cstdio>
#include <cstring>

#include "afx/Trace.h"

namespace afx {
namespace {

std::string Snprintf(const std::string& spec, auto value) {
  const int n = std::snprintf(nullptr, 0, spec.c_str(), value);
  if (n < 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), spec.c_str(), value);
  out.resize(static_cast<size_t>(n));
  return out;
}

bool IsInteger(const FormatArg& a) { return a.kind == FormatArg::Signed || a.kind == FormatArg::Unsigned; }

std::int64_t AsSigned(const FormatArg& a) {
  return a.kind == FormatArg::Signed ? a.i : static_cast<std::int64_t>(a.u);
}

std::uint64_t AsUnsigned(const FormatArg& a) {
  return a.kind == FormatArg::Unsigned ? a.u : static_cast<std::uint64_t>(a.i);
}

}  // namespace

CString FormatChecked(const char* fmt, const std::vector<FormatArg>& args) {
  std::string out;
  if (!fmt) return out;
  size_t next = 0;
  bool bad = false;
  const char* p = fmt;
  while (*p) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      p += 2;
      continue;
    }
    const char* start = p++;
    std::string spec = "%";
    while (*p && std::strchr("-+ #0", *p)) spec += *p++;
    auto takeNumber = [&](std::string& into) {
      if (*p == '*') {
        ++p;
        if (next < args.size() && IsInteger(args[next])) {
          into += std::to_string(AsSigned(args[next++]));
        } else {
          bad = true;
        }
        return;
      }
      while (*p >= '0' && *p <= '9') into += *p++;
    };
    takeNumber(spec);
    if (*p == '.') {
      spec += *p++;
      takeNumber(spec);
    }
    // Length modifiers follow Windows widths: 'l' is 32 bits, "ll" and "I64" are 64.
    int bits = 32;
    if (*p == 'h') {
      ++p;
      bits = 16;
      if (*p == 'h') {
        ++p;
        bits = 8;
      }
    } else if (*p == 'l') {
      ++p;
      if (*p == 'l') {
        ++p;
        bits = 64;
      }
    } else if (*p == 'I' && p[1] == '6' && p[2] == '4') {
      p += 3;
      bits = 64;
    } else if (*p == 'z' || *p == 'j' || *p == 't' || *p == 'L') {
      ++p;
      bits = 64;
    }
    const char conv = *p;
    if (conv == '\0') {
      out.append(start);
      break;
    }
    ++p;
    const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
    std::string piece;
    bool ok = arg != nullptr;
    switch (conv) {
      case 'd':
      case 'i':
        ok = ok && IsInteger(*arg);
        if (ok) {
          std::int64_t v = AsSigned(*arg);
          if (bits == 32) v = static_cast<std::int32_t>(v);
          if (bits == 16) v = static_cast<std::int16_t>(v);
          if (bits == 8) v = static_cast<std::int8_t>(v);
          piece = Snprintf(spec + "lld", static_cast<long long>(v));
        }
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        ok = ok && IsInteger(*arg);
        if (ok) {
          std::uint64_t v = AsUnsigned(*arg);
          if (bits == 32) v = static_cast<std::uint32_t>(v);
          if (bits == 16) v = static_cast<std::uint16_t>(v);
          if (bits == 8) v = static_cast<std::uint8_t>(v);
          piece = Snprintf(spec + "ll" + conv, static_cast<unsigned long long>(v));
        }
        break;
      case 'c':
        ok = ok && IsInteger(*arg);
        if (ok) piece = Snprintf(spec + "c", static_cast<int>(static_cast<unsigned char>(AsSigned(*arg))));
        break;
      case 's':
        ok = ok && arg->kind == FormatArg::Text;
        if (ok) piece = Snprintf(spec + "s", arg->s ? arg->s : "(null)");
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        ok = ok && arg->kind == FormatArg::Double;
        if (ok) piece = Snprintf(spec + conv, arg->d);
        break;
      case 'p':
        ok = ok && (arg->kind == FormatArg::Pointer || arg->kind == FormatArg::Text);
        if (ok) piece = Snprintf(spec + "p", arg->kind == FormatArg::Pointer ? arg->p : static_cast<const void*>(arg->s));
        break;
      default:
        ok = false;
        break;
    }
    if (arg) ++next;
    if (!ok) {
      bad = true;
      piece = "<?>";
    }
    out += piece;
  }
  if (bad || next < args.size()) {
    AfxTrace("FormatChecked: arguments do not match the format \"%s\"", fmt);
  }
  return CString(std::move(out));
}

}  // namespace afx
