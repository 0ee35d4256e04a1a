// A replay's port: "replay:FILE" under a COM number for the length of the run.
//
// A recording made at the receiver's end of the line (qz7xx-sim --transcript)
// holds only what crosses the wire: bytes, and the speed and framing the
// host set. Such a recording is replayed through one opening of the
// recording for the whole run, and the host is held to its bytes and to the
// speed and framing in force whenever bytes cross; its opens, closes,
// purges, breaks and modem lines are not compared.
#pragma once
#include <memory>
#include <string>

namespace afx {
class ReplaySession;
class SerialDevice;
}  // namespace afx

class ReplayPort {
 public:
  ReplayPort() = default;
  ~ReplayPort();
  ReplayPort(const ReplayPort&) = delete;
  ReplayPort& operator=(const ReplayPort&) = delete;

  // Loads the transcript `file` and serves it on a COM number, set in `port`.
  bool Start(const std::string& file, int* port, std::string* error);
  // The replay's verdict: "" when the run followed the recording to its end.
  std::string Verdict();

  // The note a receiver's-end recording begins with.
  static constexpr char kReceiverEnd[] = "recorded at the receiver's end";

 private:
  std::shared_ptr<afx::ReplaySession> session_;
  std::string mappedPath_;
  bool receiverEnd_ = false;
  // A receiver's-end replay: the recording's one opening, shared by the host's opens.
  std::shared_ptr<afx::SerialDevice> opened_;
};
