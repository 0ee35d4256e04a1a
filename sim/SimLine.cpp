#include "sim/SimLine.h"

#include <algorithm>
#include <climits>

#include "sim/Transcript.h"

namespace sim {

std::int64_t SimLine::ByteTimeNs(std::uint32_t baud) {
  if (baud == 0) baud = 1;
  return (10LL * 1'000'000'000LL + baud - 1) / baud;
}

std::uint8_t SimLine::Garble(std::uint8_t byte, const afx::LineSettings& tx, const afx::LineSettings& rx) {
  // A fixed scramble of the two framings: the same mismatch always yields the
  // same garbage, and the key is never 0 (or 0x80 under 7 data bits), so a
  // garbled byte never equals the byte sent.
  std::uint32_t h = tx.baudRate * 2654435761u;
  h ^= rx.baudRate * 40503u + 0x9E37u;
  h ^= static_cast<std::uint32_t>(tx.byteSize) << 3 ^ static_cast<std::uint32_t>(rx.byteSize) << 7;
  h ^= static_cast<std::uint32_t>(tx.parity) << 11 ^ static_cast<std::uint32_t>(rx.parity) << 14;
  h ^= static_cast<std::uint32_t>(tx.stopBits) << 17 ^ static_cast<std::uint32_t>(rx.stopBits) << 19;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  std::uint8_t key = static_cast<std::uint8_t>(h);
  if ((key & 0x7F) == 0) key ^= 0x5A;
  std::uint8_t out = static_cast<std::uint8_t>(byte ^ key);
  if (rx.byteSize < 8) out &= static_cast<std::uint8_t>((1u << rx.byteSize) - 1);
  return out;
}

void SimLine::SetSettings(Side side, const afx::LineSettings& settings, std::int64_t nowNs) {
  Deliver(side, nowNs);
  end(side).settings = settings;
}

std::int64_t SimLine::Send(Side from, const std::uint8_t* data, std::size_t n, std::int64_t startNs,
                           const std::string& note) {
  End& src = end(from);
  End& dst = end(from == Side::Host ? Side::Receiver : Side::Host);
  const std::int64_t byteNs = ByteTimeNs(src.settings.baudRate);
  std::int64_t t = std::max(startNs, src.freeAt);
  if (transcript_)
    transcript_->Add(t, from == Side::Host ? Transcript::Kind::HostToReceiver : Transcript::Kind::ReceiverToHost,
                     std::vector<std::uint8_t>(data, data + n), note);
  for (std::size_t i = 0; i < n; ++i) {
    t += byteNs;
    std::uint8_t b = data[i];
    if (src.filter && !src.filter(b)) continue;
    // Bytes sent while the host holds a break never make it across.
    if (from == Side::Host && breakOn_) continue;
    dst.toHere.push_back(InFlight{t, b, src.settings});
  }
  src.freeAt = t;
  return t;
}

std::int64_t SimLine::NextArrival(Side to) const {
  const End& e = end(to);
  return e.toHere.empty() ? INT64_MAX : e.toHere.front().arrival;
}

std::int64_t SimLine::LastInFlight(Side to) const {
  const End& e = end(to);
  return e.toHere.empty() ? INT64_MAX : e.toHere.back().arrival;
}

bool SimLine::DeliverNext(Side to, std::int64_t nowNs, std::uint8_t* byte) {
  End& e = end(to);
  if (e.toHere.empty() || e.toHere.front().arrival > nowNs) return false;
  const InFlight f = e.toHere.front();
  e.toHere.pop_front();
  e.lastArrival = f.arrival;
  *byte = f.sender.FramingMatches(e.settings) ? f.byte : Garble(f.byte, f.sender, e.settings);
  return true;
}

void SimLine::Deliver(Side to, std::int64_t nowNs) {
  std::uint8_t b = 0;
  while (DeliverNext(to, nowNs, &b)) end(to).input.push_back(b);
}

std::size_t SimLine::Take(Side to, std::uint8_t* out, std::size_t max) {
  End& e = end(to);
  const std::size_t n = std::min(max, e.input.size());
  std::copy(e.input.begin(), e.input.begin() + static_cast<std::ptrdiff_t>(n), out);
  e.input.erase(e.input.begin(), e.input.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

void SimLine::DiscardOutput(Side from, std::int64_t nowNs) {
  End& src = end(from);
  End& dst = end(from == Side::Host ? Side::Receiver : Side::Host);
  const std::int64_t byteNs = ByteTimeNs(src.settings.baudRate);
  // A byte whose transmission has begun finishes; the rest is dropped.
  while (!dst.toHere.empty() && dst.toHere.back().arrival - byteNs > nowNs) dst.toHere.pop_back();
  src.freeAt = dst.toHere.empty() ? std::min(src.freeAt, nowNs) : std::max(nowNs, dst.toHere.back().arrival);
}

void SimLine::DropInFlight() {
  host_.toHere.clear();
  receiver_.toHere.clear();
  breaks_.clear();
}

void SimLine::Break(bool on, std::int64_t nowNs) {
  if (on == breakOn_) return;
  breakOn_ = on;
  if (on) {
    // The break wipes whatever was on its way to the receiver.
    receiver_.toHere.clear();
  }
  breaks_.push_back(BreakEdge{nowNs, on});
  if (transcript_) transcript_->Add(nowNs, Transcript::Kind::HostToReceiver, {}, on ? "BREAK on" : "BREAK off");
}

bool SimLine::TakeBreakEdge(bool* on) {
  if (breaks_.empty()) return false;
  *on = breaks_.front().on;
  breaks_.pop_front();
  return true;
}

}  // namespace sim
