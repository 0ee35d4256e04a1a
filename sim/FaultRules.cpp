#include "sim/FaultRules.h"

namespace sim {

namespace {

bool IsRequestRule(FaultAction a) {
  return a == FaultAction::Nak || a == FaultAction::Silence || a == FaultAction::Disconnect ||
         a == FaultAction::Reset || a == FaultAction::Cut || a == FaultAction::WrongBaud;
}

bool IsReplyRule(FaultAction a) {
  return a == FaultAction::DropReply || a == FaultAction::CorruptReply || a == FaultAction::Delay ||
         a == FaultAction::DuplicateReply;
}

bool IsByteRule(FaultAction a) {
  return a == FaultAction::DropByte || a == FaultAction::CorruptByte || a == FaultAction::Garbage;
}

// Noise for a garbage burst: the same seed and position always give the same byte.
std::uint8_t Noise(std::uint32_t seed, std::uint32_t index) {
  std::uint32_t h = seed * 0x9E3779B9u ^ (index + 1) * 0x85EBCA6Bu;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  return static_cast<std::uint8_t>(h);
}

}  // namespace

FaultRules::FaultRules(std::vector<FaultRule> rules)
    : rules_(std::move(rules)), seen_(rules_.size(), 0), fired_(rules_.size(), 0) {}

RequestVerdict FaultRules::OnRequest(int type) {
  ++requests_;
  RequestVerdict v;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    if (!IsRequestRule(r.action) || !Matches(r, type)) continue;
    const std::uint32_t k = ++seen_[i];
    bool fire = false;
    if (r.action == FaultAction::Silence)
      fire = k >= r.n && (r.count == 0 || k < r.n + r.count);
    else
      fire = k == r.n;
    if (!fire) continue;
    ++fired_[i];
    switch (r.action) {
      case FaultAction::Silence: v.silent = true; break;
      case FaultAction::Nak: v.nak = true; break;
      case FaultAction::Disconnect: v.disconnectMs = r.ms; break;
      case FaultAction::Reset: v.reset = true; break;
      case FaultAction::Cut: v.cutMs = r.ms; break;
      case FaultAction::WrongBaud:
        v.wrongBaud = r.baud;
        v.wrongBaudMs = r.ms;
        break;
      default: break;
    }
  }
  return v;
}

ReplyVerdict FaultRules::OnReply(int type) {
  ReplyVerdict v;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    if (!IsReplyRule(r.action) || !Matches(r, type)) continue;
    const std::uint32_t k = ++seen_[i];
    if (r.n != 0 && k != r.n) continue;
    ++fired_[i];
    if (r.action == FaultAction::DropReply) v.drop = true;
    if (r.action == FaultAction::CorruptReply) v.corrupt = true;
    if (r.action == FaultAction::DuplicateReply) v.duplicate = true;
    if (r.action == FaultAction::Delay) v.delayMs += r.ms;
  }
  return v;
}

bool FaultRules::OnByte(bool toHost, std::uint8_t& byte) {
  bool keep = true;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    if (!IsByteRule(r.action) || r.toHost != toHost || (r.at != 0 && requests_ < r.at)) continue;
    const std::uint32_t k = ++seen_[i];
    if (r.action == FaultAction::Garbage) {
      if (k < r.n || k - r.n >= r.count) continue;
      if (k == r.n) ++fired_[i];
      byte = Noise(r.seed, k - r.n);
      continue;
    }
    if (k != r.n) continue;
    ++fired_[i];
    if (r.action == FaultAction::DropByte) keep = false;
    else if (r.bit >= 0) byte = static_cast<std::uint8_t>(byte ^ (1u << r.bit));
    else byte = static_cast<std::uint8_t>(~byte);
  }
  return keep;
}

}  // namespace sim
