// Everything that crossed the simulated line, in time order: bytes each way
// (as written), breaks, the host's speed and framing, and what the receiver
// made of it all. Same profile and same host actions give the same
// transcript, byte for byte. Its text is a serial transcript in the format
// every transcript of this system has (afx/Transcript.h, docs/TRANSCRIPT.md).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "afx/SerialDevice.h"

namespace sim {

class Transcript {
 public:
  // HostToReceiver with no bytes and the note "BREAK on" or "BREAK off" is a break edge.
  enum class Kind { HostToReceiver, ReceiverToHost, Event, HostSettings };
  struct Entry {
    std::int64_t timeNs = 0;
    Kind kind = Kind::Event;
    std::vector<std::uint8_t> bytes;
    std::string note;
    afx::LineSettings line;  // HostSettings: what the host's end is set to
  };

  void Add(std::int64_t timeNs, Kind kind, std::vector<std::uint8_t> bytes, std::string note = {});
  void Event(std::int64_t timeNs, std::string note) { Add(timeNs, Kind::Event, {}, std::move(note)); }
  // The host's end of the line is now set to `settings`.
  void Settings(std::int64_t timeNs, const afx::LineSettings& settings);

  const std::vector<Entry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }
  // Stops keeping entries in memory (a live sink still sees them).
  void SetKeep(bool keep) { keep_ = keep; }
  // Called with each line of text as an entry is added (qz7xx-sim writes them
  // out live); times count from the origin and never go back.
  void SetSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }
  // The clock reading that is time 0 of the text (default 0).
  void SetOrigin(std::int64_t originNs) { originNs_ = originNs; }

  // The entry's lines of text, with its time counted from `originNs`.
  static std::vector<std::string> Lines(const Entry& entry, std::int64_t originNs = 0);
  // The whole transcript: its header, then every entry.
  std::string Text() const;

 private:
  void Record(Entry e);
  // The entry's time for the text: from the origin, never before the last one written.
  std::int64_t TextTime(std::int64_t timeNs, std::int64_t* lastNs) const;

  std::vector<Entry> entries_;
  std::function<void(const std::string&)> sink_;
  bool keep_ = true;
  std::int64_t originNs_ = 0;
  std::int64_t sinkLastNs_ = 0;
};

}  // namespace sim
