// The line format of serial transcripts: what crossed a serial line, one
// event per line, readable by a person and parsed back exactly. The tap on
// real ports and the virtual receiver both write it; replays read it.
// docs/TRANSCRIPT.md describes the format.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "afx/SerialDevice.h"

namespace afx {

struct TranscriptEntry {
  enum class Kind { Open, Close, Tx, Rx, Line, Break, Purge, Escape, Note };

  std::int64_t timeNs = 0;  // since the start of the recording, never negative
  Kind kind = Kind::Note;
  std::vector<std::uint8_t> bytes;  // Tx (host to device), Rx (device to host)
  // Open: the device path. Note: the text. Tx and Rx: the decoded frame, if any.
  std::string text;
  LineSettings line;  // Line
  DWORD value = 0;    // Break: 1 on, 0 off. Purge: PURGE_* flags. Escape: SETDTR ...

  bool operator==(const TranscriptEntry&) const = default;
};

class Transcript {
 public:
  // The first line of every transcript.
  static constexpr std::string_view kHeader = "# serial transcript 1";

  // One entry as one line, without the line end.
  static std::string FormatLine(const TranscriptEntry& entry);
  // Parses one line (no line end). False with `error` (without a line number) when malformed.
  static bool ParseLine(std::string_view line, TranscriptEntry* entry, std::string* error);
  // Parses a whole transcript: the header, then entries; blank lines and
  // lines starting with '#' are skipped. Times must not go backwards.
  // False with `error` as "line N: ..." when anything is malformed.
  // `lineNumbers`, when given, receives each entry's line number.
  static bool Parse(std::string_view text, std::vector<TranscriptEntry>* entries, std::string* error,
                    std::vector<std::size_t>* lineNumbers = nullptr);
  // The header and every entry, each line ended by '\n'.
  static std::string Format(const std::vector<TranscriptEntry>& entries);
  // Reads and parses a file; the error names the file.
  static bool ReadFile(const std::string& path, std::vector<TranscriptEntry>* entries, std::string* error,
                       std::vector<std::size_t>* lineNumbers = nullptr);

  // "8N1", "7E2", "8N1.5": data bits, parity letter, stop bits.
  static std::string FramingText(const LineSettings& line);
  // Seconds with nine decimals: "12.000250000".
  static std::string TimeText(std::int64_t ns);
};

}  // namespace afx
