// Records every serial device the process opens into one transcript: the
// recorder installs itself as the serial-device wrapper, so the code that
// talks to the devices is unchanged, and nothing is recorded unless a
// recorder is installed.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "afx/SerialDevice.h"
#include "afx/Transcript.h"

namespace afx {

class TranscriptRecorder : public std::enable_shared_from_this<TranscriptRecorder> {
 public:
  // Decodes bytes crossing the line into a short text for people ("" when
  // nothing is recognised). Called once per write and once per read; frames
  // split across calls are the annotator's to stitch.
  using Annotator = std::function<std::string(bool hostToDevice, const std::uint8_t* data, std::size_t count)>;
  using Sink = std::function<bool(const std::string& line)>;

  // Bytes per tx/rx line; a long write becomes several lines with one time.
  static constexpr std::size_t kBytesPerLine = 32;

  // Writes to the file at `path` (created or truncated); nullptr with `error` when it cannot.
  static std::shared_ptr<TranscriptRecorder> Create(const std::string& path, std::string* error);
  // Hands each line (without its end) to `sink`.
  static std::shared_ptr<TranscriptRecorder> Create(Sink sink);
  ~TranscriptRecorder();
  TranscriptRecorder(const TranscriptRecorder&) = delete;
  TranscriptRecorder& operator=(const TranscriptRecorder&) = delete;

  void SetAnnotator(Annotator annotator);
  // Wraps every device OpenSerialDevice returns from now on; Uninstall stops
  // that (devices already open keep recording until they close).
  void Install();
  void Uninstall();
  std::unique_ptr<SerialDevice> Wrap(std::unique_ptr<SerialDevice> device);

  // Stamps `entry` with the time since the recording began and writes it.
  void Record(TranscriptEntry entry);
  // Records bytes in lines of kBytesPerLine, decoded by the annotator.
  void RecordBytes(TranscriptEntry::Kind kind, const std::uint8_t* data, std::size_t count);
  void Note(const std::string& text);
  // False once a line could not be written (disk full ...).
  bool Healthy() const;

 private:
  explicit TranscriptRecorder(Sink sink);

  mutable std::mutex mutex_;
  Sink sink_;
  std::FILE* file_ = nullptr;
  Annotator annotator_;
  std::int64_t originNs_;
  std::int64_t lastNs_ = 0;
  bool healthy_ = true;
  bool installed_ = false;
};

}  // namespace afx
