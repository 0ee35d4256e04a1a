// Fault injection by rule: each rule counts the events it matches (requests,
// replies or bytes) and fires on the n-th one, so a test can say exactly
// where the line or the receiver misbehaves.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/Profile.h"

namespace sim {

struct RequestVerdict {
  bool silent = false;            // neither processed nor answered
  bool nak = false;               // refused
  std::uint32_t disconnectMs = 0; // the link vanishes for this long
};

struct ReplyVerdict {
  bool drop = false;
  bool corrupt = false;
  std::uint32_t delayMs = 0;
};

class FaultRules {
 public:
  explicit FaultRules(std::vector<FaultRule> rules = {});

  // A complete request of `type` has arrived.
  RequestVerdict OnRequest(int type);
  // A reply of `type` is about to be sent (lone ACK and NAK bytes count as type -1).
  ReplyVerdict OnReply(int type);
  // A byte is about to go on the wire; false drops it.
  bool OnByte(bool toHost, std::uint8_t& byte);

  // How many times each rule fired, in profile order.
  const std::vector<std::uint32_t>& Fired() const { return fired_; }

 private:
  bool Matches(const FaultRule& rule, int type) const { return rule.type < 0 || rule.type == type; }
  std::vector<FaultRule> rules_;
  std::vector<std::uint32_t> seen_;
  std::vector<std::uint32_t> fired_;
};

}  // namespace sim
