// Watches every serial device a run opens: which device paths opened, and
// how many bytes crossed each way. The run keeps a COM mapping and
// LastUsedCOM only for a device that really opened, says what to check next
// only after a run that heard from a receiver, and shows the line's rate
// beside a transfer's percentage; what the devices send goes to a
// ReceiverWatch when there is one. It installs itself as the serial-device
// wrapper for the length of the run, in front of the transcript recorder
// when there is one.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "hostlib/ReceiverWatch.h"

namespace afx {
class TranscriptRecorder;
}

class PortTap {
 public:
  // `recorder` (may be null) records what crosses the devices opened from now on.
  explicit PortTap(std::shared_ptr<afx::TranscriptRecorder> recorder = nullptr,
                   std::shared_ptr<ReceiverWatch> watch = nullptr);
  // Stops wrapping devices opened later; devices already open keep counting.
  ~PortTap();
  PortTap(const PortTap&) = delete;
  PortTap& operator=(const PortTap&) = delete;

  // Whether a device at `path` (as the COM number resolves) opened during the run.
  bool Opened(const std::string& path) const;
  bool OpenedAny() const;
  std::uint64_t BytesWritten() const { return counts_->written; }
  std::uint64_t BytesRead() const { return counts_->read; }

  struct Counts {
    std::atomic<std::uint64_t> written{0};
    std::atomic<std::uint64_t> read{0};
    std::shared_ptr<ReceiverWatch> watch;
  };

 private:
  void NoteOpen(const std::string& path);

  std::shared_ptr<afx::TranscriptRecorder> recorder_;
  std::shared_ptr<Counts> counts_ = std::make_shared<Counts>();
  mutable std::mutex mutex_;
  std::set<std::string> opened_;
};
