// The wire between the host's port and the receiver's port. Each end has its
// own line settings; a byte takes 10 bit times of its sender's speed, and a
// byte whose sender and receiver disagree on speed, data bits, parity or
// stop bits arrives as garbage (deterministic, so runs repeat exactly).
// Breaks travel from the host to the receiver. Times are afx clock ns.
#pragma once
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "afx/SerialDevice.h"

namespace sim {

class Transcript;

enum class Side { Host, Receiver };

class SimLine {
 public:
  explicit SimLine(Transcript* transcript = nullptr) : transcript_(transcript) {}

  // Nanoseconds one byte (start, 8 data, stop bits: 10 bit times) takes at `baud`.
  static std::int64_t ByteTimeNs(std::uint32_t baud);
  // What a byte sent with `tx` reads as at an end set to `rx`.
  static std::uint8_t Garble(std::uint8_t byte, const afx::LineSettings& tx, const afx::LineSettings& rx);

  // Changes one end's settings at `nowNs`; bytes that reached it before are read with the old ones.
  void SetSettings(Side side, const afx::LineSettings& settings, std::int64_t nowNs);
  const afx::LineSettings& Settings(Side side) const { return end(side).settings; }

  // Sends from `from`, the first byte starting at `startNs` or when the line is free.
  // Returns when the last byte arrives. `note` goes to the transcript.
  std::int64_t Send(Side from, const std::uint8_t* data, std::size_t n, std::int64_t startNs,
                    const std::string& note = {});
  std::int64_t Send(Side from, const std::vector<std::uint8_t>& bytes, std::int64_t startNs,
                    const std::string& note = {}) {
    return Send(from, bytes.data(), bytes.size(), startNs, note);
  }
  // When the line from `from` is idle again.
  std::int64_t IdleAt(Side from) const { return end(from).freeAt; }

  // Arrival time of the next byte travelling to `to` (INT64_MAX when none).
  std::int64_t NextArrival(Side to) const;
  // Arrival time of the last byte travelling to `to` (INT64_MAX when none).
  std::int64_t LastInFlight(Side to) const;
  // Moves every byte that reached `to` by `nowNs` into its input buffer.
  void Deliver(Side to, std::int64_t nowNs);
  // Takes the next byte travelling to `to` if it arrived by `nowNs` (bypassing the buffer).
  bool DeliverNext(Side to, std::int64_t nowNs, std::uint8_t* byte);
  std::size_t Available(Side to) const { return end(to).input.size(); }
  // Arrival time of the last byte moved into `to`'s input buffer (INT64_MIN before any).
  std::int64_t LastArrival(Side to) const { return end(to).lastArrival; }
  std::size_t Take(Side to, std::uint8_t* out, std::size_t max);

  // Purges: input that reached `to`, or output of `from` not yet on the wire at `nowNs`.
  void DiscardInput(Side to) { end(to).input.clear(); }
  void DiscardOutput(Side from, std::int64_t nowNs);
  // Drops everything in flight both ways (a receiver restart, a vanished link).
  void DropInFlight();

  // The host raises or clears a break; the receiver collects the edges.
  void Break(bool on, std::int64_t nowNs);
  std::int64_t NextBreakEdge() const { return breaks_.empty() ? INT64_MAX : breaks_.front().at; }
  bool TakeBreakEdge(bool* on);

  // Fault hook on bytes as they are sent from `from`: may change the byte, or return false to drop it.
  using ByteFilter = std::function<bool(std::uint8_t& byte)>;
  void SetByteFilter(Side from, ByteFilter filter) { end(from).filter = std::move(filter); }

  Transcript* GetTranscript() const { return transcript_; }
  void SetTranscript(Transcript* transcript) { transcript_ = transcript; }

 private:
  struct InFlight {
    std::int64_t arrival;
    std::uint8_t byte;
    afx::LineSettings sender;
  };
  struct End {
    afx::LineSettings settings;
    std::deque<InFlight> toHere;  // bytes travelling towards this end
    std::vector<std::uint8_t> input;
    std::int64_t freeAt = 0;      // when this end's transmitter is idle
    std::int64_t lastArrival = INT64_MIN;
    ByteFilter filter;
  };
  struct BreakEdge {
    std::int64_t at;
    bool on;
  };
  End& end(Side s) { return s == Side::Host ? host_ : receiver_; }
  const End& end(Side s) const { return s == Side::Host ? host_ : receiver_; }

  End host_;
  End receiver_;
  std::deque<BreakEdge> breaks_;
  bool breakOn_ = false;
  Transcript* transcript_;
};

}  // namespace sim
