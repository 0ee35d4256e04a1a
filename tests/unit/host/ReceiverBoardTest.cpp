// What a run on several ports shows, from the events of each port's run:
// sequences of events and the screen they leave, on a terminal and not.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/ReceiverBoard.h"
#include "hostlib/EventLine.h"

namespace {

struct Step {
  size_t port;
  const char* event;
};

std::vector<std::string> Play(ReceiverBoard& board, const std::vector<Step>& steps, bool terminal) {
  std::vector<std::string> printed;
  for (const Step& s : steps) {
    EventLine e;
    EXPECT_TRUE(EventLine::Parse(s.event, &e)) << s.event;
    for (const std::string& line : board.Take(s.port, e, terminal)) printed.push_back(line);
  }
  return printed;
}

TEST(ReceiverBoardTest, EventSequencesGiveTheScreen) {
  const std::vector<std::string> ports = {"COM1", "/dev/serial/by-id/usb-QZ0012345"};
  const char* receiver = R"({"event":"receiver","product":"QZ710","serial":"5012A00123","version":"4.10"})";
  const char* status = R"({"event":"status","text":"Uploading data to flash ..."})";
  const char* half = R"({"event":"progress","percent":50,"rate_bps":40100,"eta_s":12})";
  const char* ask = R"({"event":"ask","text":"Software version already installed!\n\nProceed?","caption":"DevQZ710","flags":36,"buttons":"yesno"})";
  const char* success = R"({"event":"done","outcome":"success","exit_status":0,"reason":"The software was updated successfully.","questions":[],"problems":[],"elapsed_s":1.5,"simulated_s":172.3,"version_before":"4.10","version_after":"4.80"})";
  const char* failure = R"({"event":"done","outcome":"failed","exit_status":1,"reason":"There was a failure with the operation!","questions":[],"problems":[],"elapsed_s":0})";
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool terminal;
    size_t width;
    std::vector<std::string> printed;  // lines for people
    std::vector<std::string> board;    // the terminal's lines per receiver
  };
  const Case cases[] = {
      {"nothing yet", {}, true, 100, {},
       {"COM1                             -           [....................]   0%",
        "/dev/serial/by-id/usb-QZ0012345  -           [....................]   0%"}},
      {"the receiver, its status and a transfer", {{0, receiver}, {0, status}, {0, half}}, true, 140,
       {"COM1: receiver QZ710, serial number 5012A00123, software 4.10"},
       {"COM1                             5012A00123  [##########..........]  50%  40.1 kB/s  12 s left  Uploading data "
        "to flash ...",
        "/dev/serial/by-id/usb-QZ0012345  -           [....................]   0%"}},
      {"a line is cut to the terminal's width", {{0, receiver}, {0, status}}, true, 40, {"COM1: receiver QZ710, serial number 5012A00123, software 4.10"},
       {"COM1                             5012A00", "/dev/serial/by-id/usb-QZ0012345  -"}},
      {"waiting at a question", {{1, ask}}, true, 140, {},
       {"COM1                             -           [....................]   0%",
        "/dev/serial/by-id/usb-QZ0012345  -           [....................]   0%  waiting for an answer: Software "
        "version already installed!"}},
      {"outcomes with versions and reasons", {{0, receiver}, {0, success}, {1, failure}}, true, 140,
       {"COM1: receiver QZ710, serial number 5012A00123, software 4.10"},
       {"COM1                             5012A00123  succeeded (4.10 -> 4.80)",
        "/dev/serial/by-id/usb-QZ0012345  -           failed: There was a failure with the operation!"}},
      {"not a terminal: a line per event, progress by tenths",
       {{0, status},
        {0, R"({"event":"progress","percent":3})"},
        {0, R"({"event":"progress","percent":7})"},
        {0, half},
        {1, R"({"event":"messagebox","text":"Continue?","caption":"DevQZ710","flags":36,"buttons":"yesno","answer":"no","source":"stopped","options":["--yes"]})"},
        {1, R"({"event":"warning","text":"the transcript is incomplete"})"},
        {0, success}},
       false, 100,
       {"COM1: status: Uploading data to flash ...", "COM1: progress: 3%", "COM1: progress: 50% (40.1 kB/s, 12 s left)",
        "/dev/serial/by-id/usb-QZ0012345: [DevQZ710] Continue? -> no (stopped)",
        "/dev/serial/by-id/usb-QZ0012345: warning: the transcript is incomplete",
        "COM1: Operation succeeded: The software was updated successfully."},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReceiverBoard board(ports);
    EXPECT_EQ(Play(board, c.steps, c.terminal), c.printed);
    if (c.terminal) {
      EXPECT_EQ(board.Lines(c.width), c.board);
    }
  }
}

TEST(ReceiverBoardTest, TheSummaryAndTheWorstExitStatus) {
  auto done = [](const char* outcome, int status) {
    return std::string(R"({"event":"done","outcome":")") + outcome + R"(","exit_status":)" + std::to_string(status) +
           R"(,"reason":"why","elapsed_s":65.2})";
  };
  struct Case {
    std::vector<std::pair<const char*, int>> runs;  // outcome, exit status; nullptr: it never ended
    int status;
    const char* tally;
  };
  const Case cases[] = {
      {{{"success", 0}, {"success", 0}}, 0, "2 receivers: 2 succeeded."},
      {{{"cancelled", 2}, {"stopped", 3}, {"success", 0}}, 3, "3 receivers: 1 succeeded, 1 stopped at a question, 1 cancelled."},
      {{{"declined", 2}, {"failed", 1}, {"stopped", 3}}, 1, "3 receivers: 1 failed, 1 stopped at a question, 1 declined."},
      {{{"usage", 64}, {"failed", 1}}, 64, "2 receivers: 1 failed, 1 usage error."},
      {{{"success", 0}, {nullptr, 0}}, 1, "2 receivers: 1 succeeded, 1 not ended."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tally);
    std::vector<std::string> ports;
    for (size_t i = 0; i < c.runs.size(); ++i) ports.push_back("COM" + std::to_string(i + 1));
    ReceiverBoard board(ports);
    std::vector<std::string> events;
    for (size_t i = 0; i < c.runs.size(); ++i) {
      if (!c.runs[i].first) continue;
      events.push_back(done(c.runs[i].first, c.runs[i].second));
      EventLine e;
      ASSERT_TRUE(EventLine::Parse(events.back(), &e));
      board.Take(i, e, true);
    }
    EXPECT_EQ(board.ExitStatus(), c.status);
    const auto summary = board.Summary("Load GPS software");
    EXPECT_EQ(summary.back(), c.tally);
    EXPECT_EQ(summary[2].rfind("  COM1  -         Load GPS software  ", 0), 0u) << summary[2];
  }
}

TEST(ReceiverBoardTest, EventLinesAreReadOrRefused) {
  EventLine e;
  ASSERT_TRUE(EventLine::Parse(R"( {"event":"x","text":"a\"b\\\u00e9\n","n":-1.5e2,"ok":true,"l":["p","q"],"o":{"a":[1,{}]}} )", &e));
  EXPECT_EQ(e.Event(), "x");
  EXPECT_EQ(e.Text("text"), "a\"b\\\xE9\n");
  EXPECT_EQ(e.Number("n"), -150);
  EXPECT_EQ(e.Number("text", 7), 7);
  EXPECT_TRUE(e.Flag("ok"));
  EXPECT_EQ(e.Texts("l"), (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(*e.Raw("o"), R"({"a":[1,{}]})");
  EXPECT_EQ(EventLine::WithField(R"({"event":"x"})", "port", "COM1"), R"({"port":"COM1","event":"x"})");
  EXPECT_EQ(EventLine::WithField("{}", "port", "a\"b"), R"({"port":"a\"b"})");
  EXPECT_EQ(EventLine::WithField("{\n\r\t }", "port", "COM2"), "{\"port\":\"COM2\"\n\r\t }") << "white space the reader skips";
  const std::string deep = std::string(40, '[') + std::string(40, ']');
  for (const std::string& bad : std::vector<std::string>{"", "[]", "{", R"({"a":})", R"({"a":1,})", R"({"a":"\x"})", R"({"a":1} x)",
                                R"({"a":"\u12"})", "{\"a\":\"tab\there\"}", "{\"a\":" + deep + "}"})
    EXPECT_FALSE(EventLine::Parse(bad, &e)) << bad;
}

}  // namespace
