#include "afx/Transcript.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace afx {

namespace {

constexpr std::int64_t kMaxSeconds = 9'000'000'000;  // keeps nanoseconds inside int64
constexpr char kHex[] = "0123456789ABCDEF";

struct Flag {
  DWORD bit;
  const char* word;
};
constexpr Flag kPurgeWords[] = {
    {PURGE_TXABORT, "txabort"}, {PURGE_RXABORT, "rxabort"}, {PURGE_TXCLEAR, "txclear"}, {PURGE_RXCLEAR, "rxclear"}};
constexpr Flag kEscapeWords[] = {{SETDTR, "setdtr"}, {CLRDTR, "clrdtr"}, {SETRTS, "setrts"}, {CLRRTS, "clrrts"}};
constexpr char kParityLetters[] = "NOEMS";

// Text fields keep one event per line: backslash and control characters are escaped.
std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (u < 0x20 || u == 0x7F) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 0x20 || u == 0x7F) {
      *error = "control character at text position " + std::to_string(i + 1) + " (write it as \\xHH)";
      return false;
    }
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      *out += '\\';
      ++i;
      continue;
    }
    if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
      *out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
      continue;
    }
    *error = "bad escape at text position " + std::to_string(i + 1) + " (\\\\ or \\xHH)";
    return false;
  }
  return true;
}

// Splits off the next space-separated token; `rest` loses it and one space.
std::string_view NextToken(std::string_view* rest) {
  const size_t sp = rest->find(' ');
  std::string_view token = rest->substr(0, sp);
  *rest = sp == std::string_view::npos ? std::string_view() : rest->substr(sp + 1);
  return token;
}

// Decimal without sign, at most `maxValue`.
bool ParseDecimal(std::string_view s, std::uint64_t maxValue, std::uint64_t* value) {
  if (s.empty() || s.size() > 20) return false;
  std::uint64_t v = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (digit > maxValue || v > (maxValue - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool ParseTime(std::string_view s, std::int64_t* ns) {
  const size_t dot = s.find('.');
  if (dot == std::string_view::npos || dot == 0 || s.size() - dot - 1 != 9) return false;
  std::uint64_t seconds = 0;
  std::uint64_t fraction = 0;
  if (!ParseDecimal(s.substr(0, dot), kMaxSeconds, &seconds)) return false;
  if (!ParseDecimal(s.substr(dot + 1), 999'999'999, &fraction)) return false;
  *ns = static_cast<std::int64_t>(seconds) * 1'000'000'000 + static_cast<std::int64_t>(fraction);
  return true;
}

bool ParseBytes(std::string_view* rest, std::vector<std::uint8_t>* bytes, std::string* error) {
  // "HH HH HH" up to the end or to " | ".
  while (!rest->empty()) {
    if (rest->substr(0, 2) == "| " || *rest == "|") break;
    if (rest->size() < 2 || HexDigit((*rest)[0]) < 0 || HexDigit((*rest)[1]) < 0 ||
        (rest->size() > 2 && (*rest)[2] != ' ')) {
      *error = "expected a byte as two hex digits, found \"" + std::string(rest->substr(0, 8)) + "\"";
      return false;
    }
    bytes->push_back(static_cast<std::uint8_t>(HexDigit((*rest)[0]) * 16 + HexDigit((*rest)[1])));
    *rest = rest->size() > 2 ? rest->substr(3) : std::string_view();
  }
  if (bytes->empty()) {
    *error = "no bytes";
    return false;
  }
  return true;
}

bool ParseLineSettings(std::string_view rest, LineSettings* s, std::string* error) {
  std::uint64_t v = 0;
  const std::string_view baud = NextToken(&rest);
  if (!ParseDecimal(baud, 0xFFFFFFFF, &v)) {
    *error = "bad speed \"" + std::string(baud) + "\"";
    return false;
  }
  s->baudRate = static_cast<DWORD>(v);
  const std::string_view framing = NextToken(&rest);
  if (framing != "raw") {
    // data bits 5..8, parity letter, stop bits 1, 1.5 or 2
    const size_t letter = framing.size() >= 3 ? std::string_view(kParityLetters).find(framing[1]) : std::string_view::npos;
    const std::string_view stop = framing.size() >= 3 ? framing.substr(2) : std::string_view();
    if (framing.size() < 3 || framing[0] < '5' || framing[0] > '8' || letter == std::string_view::npos ||
        (stop != "1" && stop != "1.5" && stop != "2")) {
      *error = "bad framing \"" + std::string(framing) + "\" (like 8N1, 7E2, 8N1.5)";
      return false;
    }
    s->byteSize = static_cast<BYTE>(framing[0] - '0');
    s->parity = static_cast<BYTE>(letter);
    s->stopBits = stop == "1" ? 0 : stop == "1.5" ? 1 : 2;
  }
  while (!rest.empty()) {
    const std::string_view token = NextToken(&rest);
    const size_t eq = token.find('=');
    const std::string_view key = token.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : token.substr(eq + 1);
    auto number = [&](std::uint64_t max) -> bool {
      if (ParseDecimal(value, max, &v)) return true;
      *error = "bad value in \"" + std::string(token) + "\"";
      return false;
    };
    auto hexChar = [&](char* c) -> bool {
      if (value.size() != 2 || HexDigit(value[0]) < 0 || HexDigit(value[1]) < 0) {
        *error = "bad value in \"" + std::string(token) + "\" (two hex digits)";
        return false;
      }
      *c = static_cast<char>(HexDigit(value[0]) * 16 + HexDigit(value[1]));
      return true;
    };
    if (key == "data" && framing == "raw") {
      if (!number(255)) return false;
      s->byteSize = static_cast<BYTE>(v);
    } else if (key == "parity" && framing == "raw") {
      if (!number(255)) return false;
      s->parity = static_cast<BYTE>(v);
    } else if (key == "stop" && framing == "raw") {
      if (!number(255)) return false;
      s->stopBits = static_cast<BYTE>(v);
    } else if (key == "cts" || key == "dsr" || key == "outx" || key == "inx") {
      if (!number(1)) return false;
      (key == "cts" ? s->outxCtsFlow : key == "dsr" ? s->outxDsrFlow : key == "outx" ? s->outX : s->inX) = v != 0;
    } else if (key == "dtr" || key == "rts") {
      if (!number(255)) return false;
      (key == "dtr" ? s->dtrControl : s->rtsControl) = static_cast<BYTE>(v);
    } else if (key == "xon" || key == "xoff") {
      if (!hexChar(key == "xon" ? &s->xonChar : &s->xoffChar)) return false;
    } else if (key == "xonlim" || key == "xofflim") {
      if (!number(0xFFFF)) return false;
      (key == "xonlim" ? s->xonLim : s->xoffLim) = static_cast<WORD>(v);
    } else {
      *error = "unknown line setting \"" + std::string(token) + "\"";
      return false;
    }
  }
  return true;
}

std::string HexChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::string{kHex[u >> 4], kHex[u & 15]};
}

std::string LineSettingsText(const LineSettings& s) {
  const LineSettings d;
  const bool framingValid = s.byteSize >= 5 && s.byteSize <= 8 && s.parity <= 4 && s.stopBits <= 2;
  std::string out = std::to_string(s.baudRate) + " " + (framingValid ? Transcript::FramingText(s) : "raw");
  if (!framingValid)
    out += " data=" + std::to_string(s.byteSize) + " parity=" + std::to_string(s.parity) +
           " stop=" + std::to_string(s.stopBits);
  // Only what differs from the power-on defaults, so that common lines stay short.
  if (s.outxCtsFlow != d.outxCtsFlow) out += " cts=1";
  if (s.outxDsrFlow != d.outxDsrFlow) out += " dsr=1";
  if (s.dtrControl != d.dtrControl) out += " dtr=" + std::to_string(s.dtrControl);
  if (s.rtsControl != d.rtsControl) out += " rts=" + std::to_string(s.rtsControl);
  if (s.outX != d.outX) out += " outx=1";
  if (s.inX != d.inX) out += " inx=1";
  if (s.xonChar != d.xonChar) out += " xon=" + HexChar(s.xonChar);
  if (s.xoffChar != d.xoffChar) out += " xoff=" + HexChar(s.xoffChar);
  if (s.xonLim != d.xonLim) out += " xonlim=" + std::to_string(s.xonLim);
  if (s.xoffLim != d.xoffLim) out += " xofflim=" + std::to_string(s.xoffLim);
  return out;
}

}  // namespace

std::string Transcript::TimeText(std::int64_t ns) {
  if (ns < 0) ns = 0;
  char text[40];
  std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(ns / 1'000'000'000),
                static_cast<long long>(ns % 1'000'000'000));
  return text;
}

std::string Transcript::FramingText(const LineSettings& s) {
  std::string out = std::to_string(s.byteSize);
  out += s.parity <= 4 ? kParityLetters[s.parity] : '?';
  out += s.stopBits == 0 ? "1" : s.stopBits == 1 ? "1.5" : "2";
  return out;
}

std::string Transcript::FormatLine(const TranscriptEntry& e) {
  std::string line = TimeText(e.timeNs) + " ";
  auto bytes = [&](const char* kind) {
    line += kind;
    for (const std::uint8_t b : e.bytes) {
      line += ' ';
      line += kHex[b >> 4];
      line += kHex[b & 15];
    }
    if (!e.text.empty()) line += " | " + Escape(e.text);
  };
  switch (e.kind) {
    case TranscriptEntry::Kind::Open: line += "open " + Escape(e.text); break;
    case TranscriptEntry::Kind::Close: line += "close"; break;
    case TranscriptEntry::Kind::Tx: bytes("tx"); break;
    case TranscriptEntry::Kind::Rx: bytes("rx"); break;
    case TranscriptEntry::Kind::Line: line += "line " + LineSettingsText(e.line); break;
    case TranscriptEntry::Kind::Break: line += e.value ? "break on" : "break off"; break;
    case TranscriptEntry::Kind::Purge: {
      line += "purge";
      DWORD rest = e.value;
      for (const Flag& f : kPurgeWords)
        if (rest & f.bit) {
          line += std::string(" ") + f.word;
          rest &= ~f.bit;
        }
      if (rest) {
        char hex[16];
        std::snprintf(hex, sizeof hex, " 0x%X", static_cast<unsigned>(rest));
        line += hex;
      }
      if (e.value == 0) line += " none";
      break;
    }
    case TranscriptEntry::Kind::Escape: {
      std::string word = std::to_string(e.value);
      for (const Flag& f : kEscapeWords)
        if (e.value == f.bit) word = f.word;
      line += "escape " + word;
      break;
    }
    case TranscriptEntry::Kind::Note: line += e.text.empty() ? "note" : "note " + Escape(e.text); break;
  }
  return line;
}

bool Transcript::ParseLine(std::string_view line, TranscriptEntry* e, std::string* error) {
  *e = TranscriptEntry();
  std::string_view rest = line;
  const std::string_view time = NextToken(&rest);
  if (!ParseTime(time, &e->timeNs)) {
    *error = "expected a time in seconds with nine decimals, found \"" + std::string(time.substr(0, 24)) + "\"";
    return false;
  }
  const std::string_view kind = NextToken(&rest);
  using Kind = TranscriptEntry::Kind;
  if (kind == "open") {
    e->kind = Kind::Open;
    if (rest.empty()) {
      *error = "open without a path";
      return false;
    }
    return Unescape(rest, &e->text, error);
  }
  if (kind == "note") {
    e->kind = Kind::Note;
    return Unescape(rest, &e->text, error);
  }
  if (kind == "tx" || kind == "rx") {
    e->kind = kind == "tx" ? Kind::Tx : Kind::Rx;
    if (!ParseBytes(&rest, &e->bytes, error)) return false;
    if (rest.empty()) return true;
    if (rest.substr(0, 2) != "| ") {
      *error = "expected \" | \" before the decoded text";
      return false;
    }
    return Unescape(rest.substr(2), &e->text, error);
  }
  if (kind == "close") {
    e->kind = Kind::Close;
  } else if (kind == "line") {
    e->kind = Kind::Line;
    return ParseLineSettings(rest, &e->line, error);
  } else if (kind == "break") {
    e->kind = Kind::Break;
    const std::string_view state = NextToken(&rest);
    if (state != "on" && state != "off") {
      *error = "break is on or off, found \"" + std::string(state) + "\"";
      return false;
    }
    e->value = state == "on" ? 1 : 0;
  } else if (kind == "purge") {
    e->kind = Kind::Purge;
    if (rest == "none") return true;
    if (rest.empty()) {
      *error = "purge without flags";
      return false;
    }
    while (!rest.empty()) {
      const std::string_view token = NextToken(&rest);
      bool known = false;
      for (const Flag& f : kPurgeWords)
        if (token == f.word) {
          e->value |= f.bit;
          known = true;
        }
      if (known) continue;
      DWORD bits = 0;
      bool hex = token.size() > 2 && token.size() <= 10 && token.substr(0, 2) == "0x";
      for (size_t i = 2; hex && i < token.size(); ++i) {
        const int d = HexDigit(token[i]);
        hex = d >= 0;
        bits = bits * 16 + static_cast<DWORD>(d < 0 ? 0 : d);
      }
      if (!hex) {
        *error = "unknown purge flag \"" + std::string(token) + "\"";
        return false;
      }
      e->value |= bits;
    }
    return true;
  } else if (kind == "escape") {
    e->kind = Kind::Escape;
    const std::string_view function = NextToken(&rest);
    bool known = false;
    for (const Flag& f : kEscapeWords)
      if (function == f.word) {
        e->value = f.bit;
        known = true;
      }
    std::uint64_t v = 0;
    if (!known && !ParseDecimal(function, 0xFFFFFFFF, &v)) {
      *error = "unknown escape function \"" + std::string(function) + "\"";
      return false;
    }
    if (!known) e->value = static_cast<DWORD>(v);
  } else {
    *error = "unknown event \"" + std::string(kind.substr(0, 16)) + "\"";
    return false;
  }
  if (!rest.empty()) {
    *error = "unexpected \"" + std::string(rest.substr(0, 16)) + "\" after " + std::string(kind);
    return false;
  }
  return true;
}

bool Transcript::Parse(std::string_view text, std::vector<TranscriptEntry>* entries, std::string* error,
                       std::vector<std::size_t>* lineNumbers) {
  entries->clear();
  if (lineNumbers) lineNumbers->clear();
  bool header = false;
  std::int64_t last = 0;
  size_t number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (!header) {
      if (line != kHeader) {
        *error = "line " + std::to_string(number) + ": not a serial transcript (the first line must be \"" +
                 std::string(kHeader) + "\")";
        return false;
      }
      header = true;
      continue;
    }
    if (line[0] == '#') continue;
    TranscriptEntry e;
    std::string why;
    if (!ParseLine(line, &e, &why)) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    if (e.timeNs < last) {
      *error = "line " + std::to_string(number) + ": time goes back from " + TimeText(last) + " to " + TimeText(e.timeNs);
      return false;
    }
    last = e.timeNs;
    entries->push_back(std::move(e));
    if (lineNumbers) lineNumbers->push_back(number);
  }
  if (!header) {
    *error = "empty; not a serial transcript";
    return false;
  }
  return true;
}

std::string Transcript::Format(const std::vector<TranscriptEntry>& entries) {
  std::string text(kHeader);
  text += '\n';
  for (const TranscriptEntry& e : entries) text += FormatLine(e) + "\n";
  return text;
}

bool Transcript::ReadFile(const std::string& path, std::vector<TranscriptEntry>* entries, std::string* error,
                          std::vector<std::size_t>* lineNumbers) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!Parse(text.str(), entries, error, lineNumbers)) {
    *error = path + " " + *error;
    return false;
  }
  return true;
}

}  // namespace afx
