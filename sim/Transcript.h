// Everything that crossed the simulated line, in time order: bytes each way
// (as written), breaks, and what the receiver made of them. Same profile and
// same host actions give the same transcript, byte for byte.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

class Transcript {
 public:
  enum class Kind { HostToReceiver, ReceiverToHost, Event };
  struct Entry {
    std::int64_t timeNs = 0;
    Kind kind = Kind::Event;
    std::vector<std::uint8_t> bytes;
    std::string note;
  };

  void Add(std::int64_t timeNs, Kind kind, std::vector<std::uint8_t> bytes, std::string note = {});
  void Event(std::int64_t timeNs, std::string note) { Add(timeNs, Kind::Event, {}, std::move(note)); }

  const std::vector<Entry>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }
  // Stops keeping entries in memory (a live sink still sees them).
  void SetKeep(bool keep) { keep_ = keep; }
  // Called with each formatted line as it is added (qz7xx-sim writes them out live).
  void SetSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  static std::string Format(const Entry& entry);
  std::string Text() const;

 private:
  std::vector<Entry> entries_;
  std::function<void(const std::string&)> sink_;
  bool keep_ = true;
};

}  // namespace sim
