// Fault injection by rule: each rule counts the events it matches (requests,
// replies or bytes) and fires on the n-th one, so a test can say exactly
// where the line or the receiver misbehaves. A rule with `at` set starts
// counting at the at-th request of any kind (breaks included), which pins a
// fault to one exchange of a run whatever came before it.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/Profile.h"

namespace sim {

struct RequestVerdict {
  bool silent = false;            // neither processed nor answered
  bool nak = false;               // refused
  bool reset = false;             // the receiver restarts into its application, unanswered
  std::uint32_t disconnectMs = 0; // the link vanishes for this long
  std::uint32_t cutMs = 0;        // the line carries nothing for this long
  std::uint32_t wrongBaud = 0;    // the receiver's port runs at this speed ...
  std::uint32_t wrongBaudMs = 0;  // ... for this long
};

struct ReplyVerdict {
  bool drop = false;
  bool corrupt = false;
  bool duplicate = false;
  std::uint32_t delayMs = 0;
};

class FaultRules {
 public:
  explicit FaultRules(std::vector<FaultRule> rules = {});

  // A complete request of `type` has arrived (a break counts as a request of type -1).
  RequestVerdict OnRequest(int type);
  // A reply of `type` is about to be sent (lone ACK and NAK bytes count as type -1).
  ReplyVerdict OnReply(int type);
  // A byte is about to go on the wire; false drops it.
  bool OnByte(bool toHost, std::uint8_t& byte);

  // How many times each rule fired, in profile order.
  const std::vector<std::uint32_t>& Fired() const { return fired_; }
  // Requests seen so far, of every kind.
  std::uint32_t Requests() const { return requests_; }

 private:
  bool Matches(const FaultRule& rule, int type) const {
    return (rule.at == 0 || requests_ >= rule.at) && (rule.type < 0 || rule.type == type);
  }
  std::vector<FaultRule> rules_;
  std::vector<std::uint32_t> seen_;
  std::vector<std::uint32_t> fired_;
  std::uint32_t requests_ = 0;
};

}  // namespace sim
