#include "sim/FaultRules.h"

namespace sim {

FaultRules::FaultRules(std::vector<FaultRule> rules)
    : rules_(std::move(rules)), seen_(rules_.size(), 0), fired_(rules_.size(), 0) {}

RequestVerdict FaultRules::OnRequest(int type) {
  RequestVerdict v;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    const bool requestRule =
        r.action == FaultAction::Nak || r.action == FaultAction::Silence || r.action == FaultAction::Disconnect;
    if (!requestRule || !Matches(r, type)) continue;
    const std::uint32_t k = ++seen_[i];
    bool fire = false;
    if (r.action == FaultAction::Silence)
      fire = k >= r.n && (r.count == 0 || k < r.n + r.count);
    else
      fire = k == r.n;
    if (!fire) continue;
    ++fired_[i];
    if (r.action == FaultAction::Silence) v.silent = true;
    if (r.action == FaultAction::Nak) v.nak = true;
    if (r.action == FaultAction::Disconnect) v.disconnectMs = r.ms;
  }
  return v;
}

ReplyVerdict FaultRules::OnReply(int type) {
  ReplyVerdict v;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    const bool replyRule =
        r.action == FaultAction::DropReply || r.action == FaultAction::CorruptReply || r.action == FaultAction::Delay;
    if (!replyRule || !Matches(r, type)) continue;
    const std::uint32_t k = ++seen_[i];
    if (r.n != 0 && k != r.n) continue;
    ++fired_[i];
    if (r.action == FaultAction::DropReply) v.drop = true;
    if (r.action == FaultAction::CorruptReply) v.corrupt = true;
    if (r.action == FaultAction::Delay) v.delayMs += r.ms;
  }
  return v;
}

bool FaultRules::OnByte(bool toHost, std::uint8_t& byte) {
  bool keep = true;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const FaultRule& r = rules_[i];
    if ((r.action != FaultAction::DropByte && r.action != FaultAction::CorruptByte) || r.toHost != toHost) continue;
    if (++seen_[i] != r.n) continue;
    ++fired_[i];
    if (r.action == FaultAction::DropByte) keep = false;
    else byte = static_cast<std::uint8_t>(~byte);
  }
  return keep;
}

}  // namespace sim
