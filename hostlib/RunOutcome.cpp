#include "hostlib/RunOutcome.h"

#include <cstdio>

void RunOutcome::SetPluginResult(int result, const std::string& lastStatus) {
  ran_ = true;
  pluginResult_ = result;
  lastStatus_ = lastStatus;
}

void RunOutcome::SetTimes(double elapsed, double simulated, bool virtualRun) {
  elapsed_ = elapsed;
  simulated_ = simulated;
  virtualRun_ = virtualRun;
  timed_ = true;
}

const Question* RunOutcome::FirstStop() const {
  for (const Question& q : questions_)
    if (AnswerPolicy::Stops(q.source)) return &q;
  return nullptr;
}

const Question* RunOutcome::FirstDecline() const {
  for (const Question& q : questions_)
    if ((q.source == AnswerSource::kUser || q.source == AnswerSource::kAnswer) &&
        AnswerPolicy::Declines(q.flags, q.button))
      return &q;
  return nullptr;
}

Outcome RunOutcome::FromPlugin() const {
  // Operations that stop on the user's word report it only in their status.
  const bool canceledStatus = lastStatus_ == kCanceledStatus;
  switch (pluginResult_) {
    case 1: return canceledStatus ? Outcome::kCancelled : Outcome::kSuccess;
    case 2: return Outcome::kCancelled;
    default: return canceledStatus ? Outcome::kCancelled : Outcome::kFailed;
  }
}

Outcome RunOutcome::Decide() const {
  if (!usage_.empty()) return Outcome::kUsage;
  if (FirstStop()) return Outcome::kStopped;
  if (!hostFailure_.empty()) return Outcome::kFailed;
  if (cancelledBeforeStart_) return Outcome::kCancelled;
  if (!ran_) return Outcome::kFailed;
  Outcome plugin = FromPlugin();
  if (TimedOut() && plugin == Outcome::kFailed) plugin = Outcome::kCancelled;
  if ((plugin == Outcome::kSuccess || plugin == Outcome::kCancelled) && FirstDecline()) return Outcome::kDeclined;
  if (plugin == Outcome::kSuccess && !unused_.empty()) return Outcome::kUsage;
  return plugin;
}

int RunOutcome::ExitStatus() const {
  switch (Decide()) {
    case Outcome::kSuccess: return 0;
    case Outcome::kFailed: return 1;
    case Outcome::kCancelled:
    case Outcome::kDeclined: return 2;
    case Outcome::kStopped: return 3;
    case Outcome::kUsage: return 64;
  }
  return 1;
}

const char* RunOutcome::Name(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess: return "success";
    case Outcome::kFailed: return "failed";
    case Outcome::kCancelled: return "cancelled";
    case Outcome::kDeclined: return "declined";
    case Outcome::kStopped: return "stopped";
    case Outcome::kUsage: return "usage";
  }
  return "?";
}

const char* RunOutcome::Verb(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess: return "succeeded";
    case Outcome::kFailed: return "failed";
    case Outcome::kCancelled: return "cancelled";
    case Outcome::kDeclined: return "declined";
    case Outcome::kStopped: return "stopped at a question";
    case Outcome::kUsage: return "ended by a usage error";
  }
  return "ended";
}

std::string RunOutcome::TimeOutText() const {
  char text[128];
  std::snprintf(text, sizeof text, "the run reached its time-out of %g s (--timeout) and its operation was asked to stop",
                timedOut_);
  return text;
}

std::vector<std::string> RunOutcome::Problems() const {
  std::vector<std::string> all = usage_;
  all.insert(all.end(), unused_.begin(), unused_.end());
  return all;
}

std::string RunOutcome::Reason() const {
  auto quoted = [](const Question& q) {
    return "\"" + AnswerPolicy::Fragment(q.text) + "\" answered " + AnswerPolicy::ButtonName(q.button) + " (" +
           AnswerPolicy::SourceName(q.source) + ")";
  };
  switch (Decide()) {
    case Outcome::kUsage: return usage_.empty() ? unused_.front() : usage_.front();
    case Outcome::kStopped: {
      const Question& q = *FirstStop();
      return q.source == AnswerSource::kRetryLimit ? quoted(q) + ": no retries left (--retries)"
                                                   : quoted(q) + ": nothing on the command line answers it";
    }
    case Outcome::kDeclined: return quoted(*FirstDecline());
    case Outcome::kFailed: return hostFailure_.empty() ? lastStatus_ : hostFailure_;
    case Outcome::kCancelled:
      if (cancelledBeforeStart_) return "cancelled before the operation started";
      if (TimedOut()) return TimeOutText();
      if (!interrupted_.empty()) return "interrupted (" + interrupted_ + ")";
      return lastStatus_;
    case Outcome::kSuccess: return lastStatus_;
  }
  return "";
}
