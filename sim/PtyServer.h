// Serves a virtual receiver on a pseudo-terminal in real time: a thread pumps
// the master side through the receiver's line, taking the host's speed and
// framing from the terminal settings of the slave side, so a mismatched
// speed garbles bytes here just as in-process. Breaks do not cross a
// pseudo-terminal; the host's break-info request frame is answered instead.
// The receiver's transcript holds what the receiver's end sees: the bytes,
// and the speed and framing the host sets; not the host's opens, closes,
// purges, breaks or modem lines.
//
// A recording of it begins with this note, so that a replay knows what it lacks.
#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "sim/VirtualReceiver.h"

namespace sim {

class PtyServer {
 public:
  static constexpr char kReceiverEndNote[] =
      "recorded at the receiver's end: bytes, speed and framing; no opens, closes, purges, breaks or modem lines";

  explicit PtyServer(const Profile& profile);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // The host's receive FIFO: bytes reach the host once `level` of them wait or
  // the line has been quiet for four byte times, as a UART hands them to its
  // driver; 1 hands each byte over as it arrives. Set before Start.
  static constexpr std::size_t kDefaultFifoLevel = 14;
  void SetReceiveFifo(std::size_t level) { fifoLevel_ = level == 0 ? 1 : level; }

  // Opens the pseudo-terminal and starts the pump; false with *error on failure.
  bool Start(std::string* error);
  void Stop();
  // The device path a host opens (the slave side).
  const std::string& SlavePath() const { return slavePath_; }
  // Touched by the pump thread while running: set it up before Start, read it after Stop.
  VirtualReceiver& Receiver() { return receiver_; }

 private:
  void Pump();
  VirtualReceiver receiver_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::size_t fifoLevel_ = kDefaultFifoLevel;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace sim
