// How the host answers the plug-in's message boxes, for every front end.
//
// A box with one button takes it. A matching --answer TEXT=BUTTON gives its
// button; --yes gives Yes or OK (never Retry). Otherwise an interactive run
// asks the person, and a batch run never guesses: a box whose default is
// Retry is retried, any other is told Cancel or No and the run stops at the
// question. Retry given by the host itself (--answer or the default) is
// bounded by --retries per run; past it the box is told Cancel and the run
// stops at the question.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "afx/WinTypes.h"

// Who chose the button a box got.
enum class AnswerSource {
  kUser,        // typed or clicked by the person
  kAnswer,      // a matching --answer
  kYes,         // --yes
  kDefault,     // the box's only button, or its default Retry in a batch run
  kStopped,     // nothing answered it: Cancel or No, and the run stops here
  kRetryLimit,  // --retries ran out: Cancel, and the run stops here
};

struct AnswerSettings {
  bool batch = false;
  std::vector<std::pair<std::string, std::string>> answers;  // text fragment -> button name
  bool yes = false;
  int retries = 3;
};

struct AnswerDecision {
  enum class Action { kGive, kAsk };
  Action action = Action::kGive;
  int button = 0;  // with kGive: what the plug-in is told
  AnswerSource source = AnswerSource::kDefault;
};

class AnswerPolicy {
 public:
  explicit AnswerPolicy(AnswerSettings settings) : settings_(std::move(settings)) {}

  // Decides a box of the plug-in; counts the Retry answers it gives.
  AnswerDecision Decide(const std::string& text, UINT flags);
  // A box whose question could not be put (the input ended): Cancel or No.
  static AnswerDecision Unanswered(UINT flags);
  // The button a typed line names, by a unique beginning of its name; Enter
  // alone names the button of a box that has only one. 0: ask again.
  static int ParseTyped(UINT flags, const std::string& line);

  static std::vector<int> Buttons(UINT flags);
  // "yes" -> IDYES; 0 for no button.
  static int ButtonId(const std::string& name);
  static const char* ButtonName(int id);
  static const char* SourceName(AnswerSource source);
  // Whether `button` turns down what a box of several buttons offers.
  static bool Declines(UINT flags, int button);
  // Whether the run stopped at a box answered from `source`.
  static bool Stops(AnswerSource source) {
    return source == AnswerSource::kStopped || source == AnswerSource::kRetryLimit;
  }
  // A short piece of the box's text that --answer can match on.
  static std::string Fragment(const std::string& text);
  // The command-line options that would answer the box, quoted for a shell.
  static std::vector<std::string> AnsweringOptions(const std::string& text, UINT flags);

  const AnswerSettings& Settings() const { return settings_; }

 private:
  // Gives `button`, unless it is a Retry past the bound.
  AnswerDecision Give(UINT flags, int button, AnswerSource source);

  AnswerSettings settings_;
  int retriesGiven_ = 0;
};
