// Serves a recorded transcript back as a serial device: the host's actions
// (opens, bytes written, line settings, breaks, purges, modem lines, closes)
// must come again in the recorded order, and the device's recorded bytes
// become readable at their recorded delays after the host action they
// followed, on the afx clock. The first host byte or action that differs
// from the recording stops the replay with a message saying where.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "afx/SerialDevice.h"
#include "afx/Transcript.h"

namespace afx {

class ReplaySession : public std::enable_shared_from_this<ReplaySession> {
 public:
  static constexpr char kPrefix[] = "replay:";

  // Reads the transcript at `path`; nullptr with `error` when it cannot.
  static std::shared_ptr<ReplaySession> Load(const std::string& path, std::string* error);
  // `name` stands for the recording in messages; `lines` are the entries' line
  // numbers (empty: counted from 2, as in a file with nothing but entries).
  static std::shared_ptr<ReplaySession> Create(std::vector<TranscriptEntry> entries, std::string name,
                                               std::vector<std::size_t> lines = {});
  ~ReplaySession();
  ReplaySession(const ReplaySession&) = delete;
  ReplaySession& operator=(const ReplaySession&) = delete;

  // "replay:" + the name: the device path that opens this session.
  std::string DevicePath() const { return kPrefix + name_; }
  // Registers the "replay:" provider so that OpenSerialDevice(DevicePath()) opens this session.
  void Install();
  void Uninstall();

  std::unique_ptr<SerialDevice> Open(const std::string& path, DWORD* error);

  // The first deviation ("" while the host follows the recording).
  std::string Deviation() const;
  // After the run: "" when the host did everything the recording holds, else what it left undone.
  std::string Unfinished() const;

  // For the device.
  bool Act(const TranscriptEntry& action);
  bool Write(const std::uint8_t* data, DWORD count, DWORD* accepted);
  DWORD Take(std::uint8_t* out, DWORD max);
  // When the next recorded byte becomes readable (INT64_MAX: none is due).
  std::int64_t NextArrivalNs() const;
  void CloseDevice();

 private:
  ReplaySession(std::vector<TranscriptEntry> entries, std::string name, std::vector<std::size_t> lines);

  struct Due {
    std::int64_t atNs;
    std::vector<std::uint8_t> bytes;
    std::size_t taken = 0;
  };

  // Skips notes and schedules the device's bytes up to the next host action.
  void AdvanceLocked();
  // The recorded entry as text, without its time.
  std::string Describe(std::size_t index) const;
  void DeviateLocked(const std::string& what, std::size_t index);
  void AnchorLocked(std::size_t index);
  std::int64_t ElapsedLocked() const;

  mutable std::mutex mutex_;
  std::vector<TranscriptEntry> entries_;
  std::vector<std::size_t> lines_;
  std::string name_;
  std::size_t next_ = 0;        // the next recorded entry
  std::size_t txOffset_ = 0;    // bytes of entries_[next_] already matched, when it is tx
  std::uint64_t hostBytes_ = 0; // bytes the host wrote and the recording agreed with
  std::int64_t anchorNowNs_ = 0;
  std::int64_t anchorRecordedNs_ = 0;
  std::int64_t startNs_ = 0;
  bool started_ = false;
  bool open_ = false;
  bool installed_ = false;
  std::deque<Due> due_;
  std::string deviation_;
};

}  // namespace afx
