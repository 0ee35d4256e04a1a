// What a run on several ports shows of each receiver, from the events of the
// talvern that runs it: on a terminal one line per receiver (port, serial
// number once known, status, progress bar, rate, time left, and at the end
// its outcome), the other events as lines above them; elsewhere one line per
// event, headed with its port. At the end, the summary table.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "hostlib/EventLine.h"

class ReceiverBoard {
 public:
  struct Row {
    std::string port;
    std::string receiver;  // serial number, once the receiver said it
    std::string status;
    int percent = -1;
    double rate = -1, eta = -1;
    int printedDecile = -1;
    std::string question;  // the question it waits at, while it waits
    // From its done event.
    bool done = false;
    std::string outcome;
    int exitStatus = 0;
    std::string reason;
    double elapsed = 0, simulated = -1;
    std::string versionBefore, versionAfter, versionExpected;
  };

  explicit ReceiverBoard(const std::vector<std::string>& ports);

  // Takes an event of port `index`'s run; returns the lines it gives for
  // people: on a terminal those printed above the board, elsewhere every
  // line, headed with the port.
  std::vector<std::string> Take(size_t index, const EventLine& event, bool terminal);
  // The board, each line at most `width` columns.
  std::vector<std::string> Lines(size_t width) const;
  // The table at the end, for `operation`.
  std::vector<std::string> Summary(const std::string& operation) const;
  // The worst of the runs: usage over failure over a stop at a question over
  // a cancel (or decline) over success.
  int ExitStatus() const;

  const Row& At(size_t index) const { return rows_[index]; }
  size_t Size() const { return rows_.size(); }
  bool AllDone() const;

  // "succeeded", "failed", ... for an outcome's name.
  static std::string OutcomeWords(const std::string& outcome);

 private:
  std::vector<Row> rows_;
};
