#include "hostlib/RunOutcome.h"

#include <algorithm>
#include <cstdio>

#include "hostlib/VersionReadBack.h"

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

void RunOutcome::SetAbandoned(double seconds, const std::string& lastStatus) {
  abandoned_ = seconds;
  lastStatus_ = lastStatus;
}

void RunOutcome::SetReceiver(const std::string& serial, const std::string& versionBefore) {
  serial_ = serial;
  versionBefore_ = versionBefore;
}

void RunOutcome::SetReadBack(int result, const std::string& status, const std::string& after,
                             const std::string& expected, const std::string& firmware) {
  readBack_ = true;
  readBackResult_ = result;
  readBackStatus_ = status;
  versionAfter_ = after;
  versionExpected_ = expected;
  firmware_ = firmware;
}

namespace {

// "4.80" and "04.80" are one version.
bool SameVersion(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) { return s.substr(std::min(s.find_first_not_of('0'), s.size())); };
  return strip(a) == strip(b);
}

}  // namespace

bool RunOutcome::VersionMismatch() const {
  return readBack_ && readBackResult_ == 1 && !versionExpected_.empty() && !SameVersion(versionAfter_, versionExpected_);
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

bool RunOutcome::StopAsked() const {
  if (!interrupted_.empty() || TimedOut() || cancelledBeforeStart_) return true;
  for (const Question& q : questions_)
    if (q.button == IDNO || q.button == IDCANCEL || q.button == IDABORT) return true;
  return false;
}

const Question* RunOutcome::LastNotice() const {
  for (auto it = questions_.rbegin(); it != questions_.rend(); ++it)
    if (AnswerPolicy::Buttons(it->flags).size() < 2) return &*it;
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

Outcome RunOutcome::BeforeReadBack() const {
  if (Abandoned()) return Outcome::kFailed;
  if (!usage_.empty()) return Outcome::kUsage;
  if (FirstStop()) return Outcome::kStopped;
  if (!hostFailure_.empty()) return Outcome::kFailed;
  if (cancelledBeforeStart_) return Outcome::kCancelled;
  if (!ran_) return Outcome::kFailed;
  Outcome plugin = FromPlugin();
  if (TimedOut() && plugin == Outcome::kFailed) plugin = Outcome::kCancelled;
  // An operation that ends as cancelled after an error of its own (a box, then
  // its cancel status) was not cancelled by anyone: it failed.
  if (plugin == Outcome::kCancelled && !StopAsked()) return Outcome::kFailed;
  if ((plugin == Outcome::kSuccess || plugin == Outcome::kCancelled) && FirstDecline()) return Outcome::kDeclined;
  if (plugin == Outcome::kSuccess && !unused_.empty()) return Outcome::kUsage;
  return plugin;
}

Outcome RunOutcome::Decide() const {
  const Outcome outcome = BeforeReadBack();
  if (outcome != Outcome::kSuccess || !readBack_) return outcome;
  if (readBackResult_ == 2 || readBackStatus_ == kCanceledStatus) return Outcome::kCancelled;
  if (readBackResult_ != 1 || VersionMismatch()) return Outcome::kFailed;
  return outcome;
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
  if (Abandoned()) {
    char text[64];
    std::snprintf(text, sizeof text, "%g s", abandoned_);
    return std::string("the operation did not stop within ") + text +
           " of being asked to (--stop-wait): the receiver stopped answering during a step that cannot be cut "
           "short, such as its install (last status: " +
           (lastStatus_.empty() ? "none" : lastStatus_) +
           "); talvern sent nothing more to it and gave up. Leave the receiver powered for some minutes, then run \"" +
           VersionReadBack::kVersion + "\" to see which software it runs before you try again";
  }
  if (BeforeReadBack() == Outcome::kSuccess && Decide() != Outcome::kSuccess) {
    if (VersionMismatch())
      return "the receiver runs version " + versionAfter_ + " after the update, not " + versionExpected_ + " of \"" +
             firmware_ + "\" (read back with its version operation): the update did not take";
    return "the version could not be read back after the update: " + readBackStatus_;
  }
  switch (Decide()) {
    case Outcome::kUsage: return usage_.empty() ? unused_.front() : usage_.front();
    case Outcome::kStopped: {
      const Question& q = *FirstStop();
      return q.source == AnswerSource::kRetryLimit ? quoted(q) + ": no retries left (--retries)"
                                                   : quoted(q) + ": nothing on the command line answers it";
    }
    case Outcome::kDeclined: return quoted(*FirstDecline());
    case Outcome::kFailed:
      if (!hostFailure_.empty()) return hostFailure_;
      if (FromPlugin() == Outcome::kCancelled) {
        const Question* notice = LastNotice();
        return std::string("the operation ended without finishing") +
               (notice ? " after the box \"" + AnswerPolicy::Fragment(notice->text) + "\"" : "") + "; it reports \"" +
               lastStatus_ + "\", though nothing asked it to stop";
      }
      return lastStatus_;
    case Outcome::kCancelled:
      if (cancelledBeforeStart_) return "cancelled before the operation started";
      if (TimedOut()) return TimeOutText();
      if (!interrupted_.empty()) return "interrupted (" + interrupted_ + ")";
      return lastStatus_;
    case Outcome::kSuccess: return lastStatus_;
  }
  return "";
}
