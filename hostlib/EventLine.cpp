#include "hostlib/EventLine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDeepest = 32;

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool At(char c) {
    Space();
    return i_ < s_.size() && s_[i_] == c;
  }
  bool Take(char c) {
    if (!At(c)) return false;
    ++i_;
    return true;
  }
  bool End() {
    Space();
    return i_ == s_.size();
  }
  size_t Pos() const { return i_; }

  // A string; its decoded text in `out` when given.
  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        if (out) *out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      char plain = 0;
      switch (e) {
        case '"': case '\\': case '/': plain = e; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          unsigned v = 0;
          for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            const int d = h >= '0' && h <= '9'   ? h - '0'
                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                 : -1;
            if (d < 0) return false;
            v = v << 4 | static_cast<unsigned>(d);
          }
          // talvern's texts are single bytes; anything wider has no byte of its own.
          if (out) *out += v < 0x100 ? static_cast<char>(v) : '?';
          continue;
        }
        default: return false;
      }
      if (out) *out += plain;
    }
    return false;
  }

  bool Value(int depth) {
    if (depth > kDeepest) return false;
    Space();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return String(nullptr);
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      if (Take(close)) return true;
      do {
        if (c == '{' && (!String(nullptr) || !Take(':'))) return false;
        if (!Value(depth + 1)) return false;
      } while (Take(','));
      return Take(close);
    }
    for (const char* word : {"true", "false", "null"}) {
      const std::string w = word;
      if (s_.compare(i_, w.size(), w) == 0) {
        i_ += w.size();
        return true;
      }
    }
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.' || s_[i_] == 'e' ||
                              s_[i_] == 'E' || s_[i_] == '+' || s_[i_] == '-'))
      ++i_;
    return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }

 private:
  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

bool EventLine::Parse(const std::string& line, EventLine* out) {
  EventLine parsed;
  Reader r(line);
  if (!r.Take('{')) return false;
  if (!r.Take('}')) {
    do {
      std::string name;
      if (!r.String(&name) || !r.Take(':')) return false;
      r.Space();
      const size_t start = r.Pos();
      if (!r.Value(1)) return false;
      parsed.fields_.emplace_back(name, line.substr(start, r.Pos() - start));
    } while (r.Take(','));
    if (!r.Take('}')) return false;
  }
  if (!r.End()) return false;
  parsed.event_ = parsed.Text("event");
  *out = std::move(parsed);
  return true;
}

const std::string* EventLine::Raw(const std::string& name) const {
  for (const auto& [n, v] : fields_)
    if (n == name) return &v;
  return nullptr;
}

std::string EventLine::Text(const std::string& name) const {
  const std::string* raw = Raw(name);
  std::string out;
  if (!raw) return out;
  Reader r(*raw);
  if (!r.String(&out)) out.clear();
  return out;
}

double EventLine::Number(const std::string& name, double otherwise) const {
  const std::string* raw = Raw(name);
  if (!raw || raw->empty() || (!std::isdigit(static_cast<unsigned char>((*raw)[0])) && (*raw)[0] != '-'))
    return otherwise;
  return std::strtod(raw->c_str(), nullptr);
}

bool EventLine::Flag(const std::string& name) const {
  const std::string* raw = Raw(name);
  return raw && *raw == "true";
}

std::vector<std::string> EventLine::Texts(const std::string& name) const {
  std::vector<std::string> out;
  const std::string* raw = Raw(name);
  if (!raw) return out;
  Reader r(*raw);
  if (!r.Take('[') || r.Take(']')) return out;
  do {
    std::string item;
    if (!r.String(&item)) return {};
    out.push_back(item);
  } while (r.Take(','));
  return out;
}

std::string EventLine::WithField(const std::string& line, const std::string& name, const std::string& value) {
  const size_t brace = line.find('{');
  if (brace == std::string::npos) return line;
  std::string escaped = "\"";
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') escaped += '\\';
    if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      escaped += hex;
    } else {
      escaped += static_cast<char>(c);
    }
  }
  escaped += "\"";
  // The same white space the reader skips, or "{\n}" would gain a trailing comma.
  const size_t first = line.find_first_not_of(" \t\r\n", brace + 1);
  const bool empty = first != std::string::npos && line[first] == '}';
  return line.substr(0, brace + 1) + "\"" + name + "\":" + escaped + (empty ? "" : ",") + line.substr(brace + 1);
}
