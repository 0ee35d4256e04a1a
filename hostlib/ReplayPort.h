// A replay's port: "replay:FILE" under a COM number for the length of the run.
#pragma once
#include <memory>
#include <string>

namespace afx {
class ReplaySession;
}

class ReplayPort {
 public:
  ReplayPort() = default;
  ~ReplayPort();
  ReplayPort(const ReplayPort&) = delete;
  ReplayPort& operator=(const ReplayPort&) = delete;

  // Loads the transcript `file` and serves it on a COM number, set in `port`.
  bool Start(const std::string& file, int* port, std::string* error);
  // The replay's verdict: "" when the run followed the recording to its end.
  std::string Verdict() const;

 private:
  std::shared_ptr<afx::ReplaySession> session_;
  std::string mappedPath_;
};
