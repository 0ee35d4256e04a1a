#include "sim/Transcript.h"

#include <cstdio>

namespace sim {

void Transcript::Add(std::int64_t timeNs, Kind kind, std::vector<std::uint8_t> bytes, std::string note) {
  Entry e{timeNs, kind, std::move(bytes), std::move(note)};
  if (sink_) sink_(Format(e));
  if (keep_) entries_.push_back(std::move(e));
}

std::string Transcript::Format(const Entry& e) {
  char head[64];
  const char* dir = e.kind == Kind::HostToReceiver ? "host>rx" : e.kind == Kind::ReceiverToHost ? "rx>host" : "event  ";
  std::snprintf(head, sizeof head, "%12.6f %s", static_cast<double>(e.timeNs) / 1e9, dir);
  std::string line = head;
  // Long transfers stay readable: the first bytes and the count.
  constexpr std::size_t kShown = 48;
  for (std::size_t i = 0; i < e.bytes.size() && i < kShown; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", e.bytes[i]);
    line += hex;
  }
  if (e.bytes.size() > kShown) line += " ... (" + std::to_string(e.bytes.size()) + " bytes)";
  if (!e.note.empty()) line += (e.bytes.empty() ? " " : "  | ") + e.note;
  return line;
}

std::string Transcript::Text() const {
  std::string text;
  for (const auto& e : entries_) text += Format(e) + "\n";
  return text;
}

}  // namespace sim
