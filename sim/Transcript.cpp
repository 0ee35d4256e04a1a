#include "sim/Transcript.h"

#include <algorithm>

#include "afx/Transcript.h"
#include "afx/TranscriptRecorder.h"

namespace sim {

void Transcript::Add(std::int64_t timeNs, Kind kind, std::vector<std::uint8_t> bytes, std::string note) {
  Record(Entry{timeNs, kind, std::move(bytes), std::move(note), {}});
}

void Transcript::Settings(std::int64_t timeNs, const afx::LineSettings& settings) {
  Record(Entry{timeNs, Kind::HostSettings, {}, {}, settings});
}

void Transcript::Record(Entry e) {
  if (sink_) {
    Entry timed = e;
    timed.timeNs = TextTime(e.timeNs, &sinkLastNs_) + originNs_;
    for (const std::string& line : Lines(timed, originNs_)) sink_(line);
  }
  if (keep_) entries_.push_back(std::move(e));
}

std::int64_t Transcript::TextTime(std::int64_t timeNs, std::int64_t* lastNs) const {
  // A reply is noted when it starts on the line, which may be after a later
  // note; the text keeps its times in order.
  *lastNs = std::max(*lastNs, timeNs - originNs_);
  return *lastNs;
}

std::vector<std::string> Transcript::Lines(const Entry& e, std::int64_t originNs) {
  afx::TranscriptEntry out;
  out.timeNs = std::max<std::int64_t>(0, e.timeNs - originNs);
  std::vector<std::string> lines;
  switch (e.kind) {
    case Kind::HostSettings:
      out.kind = afx::TranscriptEntry::Kind::Line;
      out.line = e.line;
      break;
    case Kind::Event:
      out.kind = afx::TranscriptEntry::Kind::Note;
      out.text = e.note;
      break;
    case Kind::HostToReceiver:
    case Kind::ReceiverToHost:
      if (e.bytes.empty() && (e.note == "BREAK on" || e.note == "BREAK off")) {
        out.kind = afx::TranscriptEntry::Kind::Break;
        out.value = e.note == "BREAK on" ? 1 : 0;
        break;
      }
      if (e.bytes.empty()) {
        out.kind = afx::TranscriptEntry::Kind::Note;
        out.text = e.note;
        break;
      }
      out.kind = e.kind == Kind::HostToReceiver ? afx::TranscriptEntry::Kind::Tx : afx::TranscriptEntry::Kind::Rx;
      // Long transfers take several lines of one time, the receiver's reading on the first.
      for (std::size_t at = 0; at < e.bytes.size(); at += afx::TranscriptRecorder::kBytesPerLine) {
        const std::size_t n = std::min(afx::TranscriptRecorder::kBytesPerLine, e.bytes.size() - at);
        out.bytes.assign(e.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         e.bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        out.text = at == 0 ? e.note : "";
        lines.push_back(afx::Transcript::FormatLine(out));
      }
      return lines;
  }
  lines.push_back(afx::Transcript::FormatLine(out));
  return lines;
}

std::string Transcript::Text() const {
  std::string text = std::string(afx::Transcript::kHeader) + "\n";
  std::int64_t last = 0;
  for (const Entry& e : entries_) {
    Entry timed = e;
    timed.timeNs = TextTime(e.timeNs, &last) + originNs_;
    for (const std::string& line : Lines(timed, originNs_)) text += line + "\n";
  }
  return text;
}

}  // namespace sim
