// What really happened in a run, decided from everything the host saw: the
// plug-in's result and last status, every message box with its answer and
// where the answer came from, and the --set values that could not apply.
//
// The rules, first match wins:
//  usage (64)     a --set that could not apply or that a dialog refused;
//  stopped (3)    a box that nothing on the command line answered, or a
//                 Retry past --retries: the host told it Cancel or No;
//  failed (1)     the host could not run the operation or the replay
//                 differs from its recording;
//  cancelled (2)  the pages were cancelled before the operation started;
//  then from the plug-in: result 1 is success, 2 cancelled, 0 failed, but a
//  result 0 or 1 whose last status is "The operation was canceled." is
//  cancelled, and so is a run that reached its time-out and did not succeed; a success or a cancel after a box of several buttons was
//  answered No, Cancel or Abort by the user or an --answer is declined (2);
//  a success that left a --set for a dialog that never appeared is usage (64).
//  A success whose version read-back failed or showed another version than
//  the chosen firmware's is failed (a read-back that was cancelled:
//  cancelled). A run the host gave up waiting for (--stop-wait) is failed,
//  whatever else happened.
// A second Ctrl-C ends the program at once with 130.
#pragma once
#include <string>
#include <vector>

#include "afx/WinTypes.h"
#include "hostlib/AnswerPolicy.h"

enum class Outcome { kSuccess, kFailed, kCancelled, kDeclined, kStopped, kUsage };

// One message box and what it got.
struct Question {
  std::string text;
  std::string caption;
  UINT flags = 0;
  int button = 0;
  AnswerSource source = AnswerSource::kDefault;
};

class RunOutcome {
 public:
  static constexpr char kCanceledStatus[] = "The operation was canceled.";

  void AddQuestion(const Question& question) { questions_.push_back(question); }
  // Makes the run a usage error whatever else happens.
  void AddUsageError(const std::string& text) { usage_.push_back(text); }
  // A --set whose dialog never appeared: a usage error if the run otherwise succeeded.
  void AddUnusedSet(const std::string& text) { unused_.push_back(text); }
  void SetHostFailure(const std::string& why) { hostFailure_ = why; }
  void SetCancelledBeforeStart() { cancelledBeforeStart_ = true; }
  // The plug-in's result and last status. One that reports itself cancelled
  // when nothing asked it to stop (StopAsked) has failed.
  void SetPluginResult(int result, const std::string& lastStatus);
  // The person stopped the running operation (`how`: "Ctrl-C", "Cancel").
  void SetInterrupted(const std::string& how) { interrupted_ = how; }
  // The run reached its time-out of `seconds` and its operation was asked to stop.
  void SetTimedOut(double seconds) { timedOut_ = seconds; }
  bool TimedOut() const { return timedOut_ > 0; }
  double TimeOut() const { return timedOut_; }
  // "the run reached its time-out of N s ...".
  std::string TimeOutText() const;
  void SetTimes(double elapsed, double simulated, bool virtualRun);
  // The host stopped waiting for the operation to stop, `seconds` after it
  // asked it to (`lastStatus` the plug-in's last status then).
  void SetAbandoned(double seconds, const std::string& lastStatus);
  bool Abandoned() const { return abandoned_ > 0; }

  // The receiver and the versions around an update ("" where unknown): what
  // it ran before, what the version operation read back after, and what the
  // chosen firmware (`firmware`, its catalogue entry) states.
  void SetReceiver(const std::string& serial, const std::string& versionBefore);
  void SetReadBack(int result, const std::string& status, const std::string& after, const std::string& expected,
                   const std::string& firmware);
  const std::string& Serial() const { return serial_; }
  const std::string& VersionBefore() const { return versionBefore_; }
  const std::string& VersionAfter() const { return versionAfter_; }
  const std::string& VersionExpected() const { return versionExpected_; }
  bool ReadBack() const { return readBack_; }
  // Whether the read-back showed a version other than the chosen firmware's.
  bool VersionMismatch() const;

  Outcome Decide() const;
  int ExitStatus() const;
  // "success", "failed", "cancelled", "declined", "stopped", "usage".
  static const char* Name(Outcome outcome);
  // "succeeded", "failed", ... for the closing line.
  static const char* Verb(Outcome outcome);
  // One line on why the run ended so; "" when there is nothing to add.
  std::string Reason() const;

  const std::vector<Question>& Questions() const { return questions_; }
  // The usage errors, then the unused --set values.
  std::vector<std::string> Problems() const;
  bool Ran() const { return ran_; }
  int PluginResult() const { return pluginResult_; }
  const std::string& LastStatus() const { return lastStatus_; }
  double Elapsed() const { return elapsed_; }
  double Simulated() const { return simulated_; }
  bool VirtualRun() const { return virtualRun_; }
  // Whether the run got as far as taking its time (its pages or its operation).
  bool Timed() const { return timed_; }

 private:
  // What the plug-in's result and the boxes make of the run.
  Outcome FromPlugin() const;
  // The outcome as it would be without the version read-back.
  Outcome BeforeReadBack() const;
  const Question* FirstStop() const;
  const Question* FirstDecline() const;
  // Whether anything the host saw asked the operation to stop: Ctrl-C or
  // Cancel, the time-out, or No, Cancel or Abort given to a box.
  bool StopAsked() const;
  // The last box with one button (an error or a notice), if any.
  const Question* LastNotice() const;

  std::vector<Question> questions_;
  std::vector<std::string> usage_;
  std::vector<std::string> unused_;
  std::string hostFailure_;
  bool cancelledBeforeStart_ = false;
  bool ran_ = false;
  std::string interrupted_;
  double timedOut_ = 0;
  int pluginResult_ = 0;
  std::string lastStatus_;
  double elapsed_ = 0;
  double simulated_ = 0;
  bool virtualRun_ = false;
  bool timed_ = false;
  double abandoned_ = 0;
  std::string serial_;
  std::string versionBefore_;
  bool readBack_ = false;
  int readBackResult_ = 0;
  std::string readBackStatus_;
  std::string versionAfter_;
  std::string versionExpected_;
  std::string firmware_;
};
