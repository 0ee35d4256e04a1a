// How the host answers message boxes, in every mode, and what the answers
// make of the run: the button the plug-in is told, the events, the exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "host/Console.h"
#include "host/ConsolePresenter.h"
#include "host/Options.h"
#include "hostlib/RunOutcome.h"

namespace {

constexpr char kReset[] = "WARNING!! This operation will stop logging data. Continue?";
constexpr char kInvalid[] = "Invalid Device!\n\nTalvern detected a Korvane product on COM1.";
constexpr char kLogging[] = "Ensure all files have been downloaded from the receiver.";
constexpr char kCanceled[] = "The operation was canceled.";

std::string ReadAll(std::FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

std::vector<std::string> EventsOf(const std::string& text, const std::string& kind) {
  std::vector<std::string> found;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    if (line.find("{\"event\":\"" + kind + "\"") == 0) found.push_back(line);
  }
  return found;
}

struct Box {
  const char* text;
  UINT flags;
};

struct Case {
  const char* name;
  Box box;
  bool batch;
  std::vector<std::pair<std::string, std::string>> answers;
  bool yes;
  int retries;
  std::string typed;           // what the person types, line by line
  std::vector<int> given;      // the button of each showing of the box
  const char* source;          // where the last answer came from
  size_t asked;                // "ask" events: the host waited for the person
  bool options;                // the last messagebox event says how to answer it
  int pluginResult;
  const char* lastStatus;
  int exitStatus;
};

}  // namespace

TEST(AnswerPolicy, BoxKindModeAndAnswersDecideTheButtonTheEventsAndTheExitStatus) {
  const Box ok{"DevQZ7xx Version: 5.00b50\n\nDevice failure!", MB_OK | MB_ICONEXCLAMATION};
  const Box reset{kReset, MB_YESNO | MB_ICONQUESTION};
  const Box logging{kLogging, MB_OKCANCEL | MB_DEFBUTTON2};
  const Box invalid{kInvalid, MB_RETRYCANCEL | MB_SETFOREGROUND};
  const Box clear{"Do you wish to continue with the clear operation?", MB_YESNO | MB_DEFBUTTON2};
  const Box abort{"Abort, retry or ignore?", MB_ABORTRETRYIGNORE};
  const Case cases[] = {
      // Batch: one button is taken; several need an answer, else Cancel or No and exit 3.
      {"batch ok box", ok, true, {}, false, 3, "", {IDOK}, "default", 0, false, 0, "failure", 1},
      {"batch reset, no answer", reset, true, {}, false, 3, "", {IDNO}, "stopped", 0, true, 0, kCanceled, 3},
      {"batch reset, --answer yes", reset, true, {{"Continue?", "yes"}}, false, 3, "", {IDYES}, "answer", 0, false, 1,
       "reset", 0},
      {"batch reset, --answer no declines", reset, true, {{"Continue?", "no"}}, false, 3, "", {IDNO}, "answer", 0, false,
       0, kCanceled, 2},
      {"an --answer for another box", reset, true, {{"clear operation", "yes"}}, false, 3, "", {IDNO}, "stopped", 0,
       true, 0, kCanceled, 3},
      {"an --answer naming a button the box lacks", reset, true, {{"Continue?", "ok"}}, false, 3, "", {IDNO}, "stopped",
       0, true, 0, kCanceled, 3},
      {"batch reset, --yes", reset, true, {}, true, 3, "", {IDYES}, "yes", 0, false, 1, "reset", 0},
      {"first matching --answer wins over --yes", reset, true, {{"Continue", "no"}, {"WARNING", "yes"}}, true, 3, "",
       {IDNO}, "answer", 0, false, 0, kCanceled, 2},
      // The default Cancel of the logging box is not taken: the plug-in's success is not the run's.
      {"batch logging box, no answer", logging, true, {}, false, 3, "", {IDCANCEL}, "stopped", 0, true, 1,
       "The software was updated successfully.", 3},
      {"batch logging box, --answer cancel", logging, true, {{"Ensure all files", "cancel"}}, false, 3, "",
       {IDCANCEL}, "answer", 0, false, 1, "The software was updated successfully.", 2},
      {"batch logging box, --yes is OK", logging, true, {}, true, 3, "", {IDOK}, "yes", 0, false, 1, "updated", 0},
      {"abort, retry, ignore with Abort the default", abort, true, {}, false, 3, "", {IDABORT}, "stopped", 0, true, 0,
       "failure", 3},
      // Retry given by the host is bounded per run; --yes never retries.
      {"batch retry box", invalid, true, {}, false, 3, "", {IDRETRY, IDRETRY, IDRETRY, IDCANCEL, IDCANCEL},
       "retry-limit", 0, true, 2, kCanceled, 3},
      {"--retries 0", invalid, true, {}, true, 0, "", {IDCANCEL}, "retry-limit", 0, true, 2, kCanceled, 3},
      {"--answer retry is bounded too", invalid, true, {{"Invalid Device!", "retry"}}, false, 1, "", {IDRETRY, IDCANCEL},
       "retry-limit", 0, true, 2, kCanceled, 3},
      {"--answer cancel declines", invalid, true, {{"Invalid Device!", "cancel"}}, false, 3, "", {IDCANCEL}, "answer", 0,
       false, 2, kCanceled, 2},
      // Interactive: Enter takes a lone button only; a unique beginning names one.
      {"interactive ok box, Enter", ok, false, {}, false, 3, "\n", {IDOK}, "user", 1, false, 0, "failure", 1},
      {"interactive reset: Enter and nonsense ask again", reset, false, {}, false, 3, "\nmaybe\ny\n", {IDYES}, "user", 1,
       false, 1, "reset", 0},
      {"interactive clear: no is declined", clear, false, {}, false, 3, "NO\n", {IDNO}, "user", 1, false, 1,
       "The error log was retrieved successfully.", 2},
      {"interactive, the input ends", reset, false, {}, false, 3, "\n", {IDNO}, "stopped", 1, true, 0, kCanceled, 3},
      {"interactive, an --answer asks nobody", reset, false, {{"Continue?", "yes"}}, false, 3, "", {IDYES}, "answer", 0,
       false, 1, "reset", 0},
      {"interactive Retry is the person's own", invalid, false, {}, false, 1, "r\nretry\nc\n",
       {IDRETRY, IDRETRY, IDCANCEL}, "user", 3, false, 2, kCanceled, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fputs(c.typed.c_str(), in);
    std::rewind(in);
    Options options;
    options.answering = {c.batch, c.answers, c.yes, c.retries};
    Console console(true, out, out);
    ConsolePresenter presenter(options, console, in);
    RunOutcome outcome;
    presenter.BeginRun(5, &outcome, &console);
    std::vector<int> given;
    for (size_t i = 0; i < c.given.size(); ++i) given.push_back(presenter.MessageBox(nullptr, c.box.text, "DevQZ710", c.box.flags));
    presenter.EndRun();
    outcome.SetPluginResult(c.pluginResult, c.lastStatus);
    const std::string events = ReadAll(out);
    std::fclose(in);
    std::fclose(out);

    EXPECT_EQ(given, c.given);
    const auto boxes = EventsOf(events, "messagebox");
    ASSERT_EQ(boxes.size(), c.given.size()) << events;
    EXPECT_NE(boxes.back().find(std::string("\"source\":\"") + c.source + "\""), std::string::npos) << boxes.back();
    EXPECT_EQ(boxes.back().find("\"options\":") != std::string::npos, c.options) << boxes.back();
    EXPECT_EQ(EventsOf(events, "ask").size(), c.asked) << events;
    EXPECT_EQ(outcome.ExitStatus(), c.exitStatus) << RunOutcome::Name(outcome.Decide());
  }
}

TEST(AnswerPolicy, StoppedBoxSaysHowToAnswerIt) {
  // The fragment is cut at a word, quoted for a shell, and --yes offered where it applies.
  EXPECT_EQ(AnswerPolicy::AnsweringOptions(kReset, MB_YESNO),
            (std::vector<std::string>{"--answer 'WARNING!! This operation will stop=yes'",
                                      "--answer 'WARNING!! This operation will stop=no'", "--yes"}));
  EXPECT_EQ(AnswerPolicy::AnsweringOptions("\n\nIt's gone.\nMore", MB_RETRYCANCEL),
            (std::vector<std::string>{"--answer 'It'\\''s gone.=retry'", "--answer 'It'\\''s gone.=cancel'"}));
  // What is offered must answer the box when given back.
  AnswerPolicy policy({true, {{"WARNING!! This operation will stop", "yes"}}, false, 3});
  EXPECT_EQ(policy.Decide(kReset, MB_YESNO).button, IDYES);
}

TEST(RunOutcome, TheRulesOfTheOutcome) {
  const Question declined{kReset, "DevQZ710", MB_YESNO, IDNO, AnswerSource::kUser};
  const Question stopped{kLogging, "DevQZ710", MB_OKCANCEL, IDCANCEL, AnswerSource::kStopped};
  const Question informed{"Done.", "DevQZ710", MB_OK, IDOK, AnswerSource::kDefault};
  const Question noByScript{kReset, "DevQZ710", MB_YESNO, IDNO, AnswerSource::kAnswer};
  struct Case {
    const char* name;
    std::vector<Question> questions;
    int result;  // -1: DoOperation never ran
    const char* status;
    const char* usage;
    const char* unused;
    const char* hostFailure;
    Outcome want;
    const char* interrupted = nullptr;  // Ctrl-C or Cancel while it ran
  };
  const Case cases[] = {
      {"plug-in success", {informed}, 1, "ok", nullptr, nullptr, nullptr, Outcome::kSuccess},
      {"plug-in failure", {informed}, 0, "There was a failure with the operation!", nullptr, nullptr, nullptr,
       Outcome::kFailed},
      {"plug-in cancel", {}, 2, kCanceled, nullptr, nullptr, nullptr, Outcome::kCancelled, "Ctrl-C"},
      {"false result with the cancel status", {}, 0, kCanceled, nullptr, nullptr, nullptr, Outcome::kCancelled,
       "Cancel"},
      {"a cancel status after its own error box, nothing asked it to stop", {informed}, 2, kCanceled, nullptr, nullptr,
       nullptr, Outcome::kFailed},
      {"a cancel status after a Cancel given to a box", {stopped}, 2, kCanceled, nullptr, nullptr, nullptr,
       Outcome::kStopped},
      {"declined, then success", {declined}, 1, "ok", nullptr, nullptr, nullptr, Outcome::kDeclined},
      {"declined by --answer, then the cancel status", {noByScript}, 0, kCanceled, nullptr, nullptr, nullptr,
       Outcome::kDeclined},
      {"declined, then a failure stays a failure", {declined}, 0, "failure", nullptr, nullptr, nullptr, Outcome::kFailed},
      {"a stop beats the plug-in's success", {stopped}, 1, "ok", nullptr, nullptr, nullptr, Outcome::kStopped},
      {"a refusal beats everything", {stopped}, 1, "ok", "912 refused", nullptr, nullptr, Outcome::kUsage},
      {"an unused --set spoils a success", {}, 1, "ok", nullptr, "940 never appeared", nullptr, Outcome::kUsage},
      {"an unused --set after a cancel is no usage error", {}, 2, kCanceled, nullptr, "940", nullptr, Outcome::kCancelled,
       "Ctrl-C"},
      {"an unused --set after a decline is no usage error", {declined}, 1, "ok", nullptr, "940", nullptr,
       Outcome::kDeclined},
      {"a replay that differs fails a success", {}, 1, "ok", nullptr, nullptr, "deviates", Outcome::kFailed},
      {"never ran", {}, -1, "", nullptr, nullptr, "cannot map", Outcome::kFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOutcome outcome;
    for (const Question& q : c.questions) outcome.AddQuestion(q);
    if (c.result >= 0) outcome.SetPluginResult(c.result, c.status);
    if (c.usage) outcome.AddUsageError(c.usage);
    if (c.unused) outcome.AddUnusedSet(c.unused);
    if (c.hostFailure) outcome.SetHostFailure(c.hostFailure);
    if (c.interrupted) outcome.SetInterrupted(c.interrupted);
    EXPECT_EQ(RunOutcome::Name(outcome.Decide()), std::string(RunOutcome::Name(c.want)));
  }
}
