#include "afx/TranscriptRecorder.h"

#include <cerrno>
#include <cstring>

#include "afx/Clock.h"
#include "afx/TranscriptDevice.h"

namespace afx {

std::shared_ptr<TranscriptRecorder> TranscriptRecorder::Create(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    *error = "cannot write the transcript " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  // Flushed line by line: a transcript matters most when the program dies halfway.
  auto recorder = std::shared_ptr<TranscriptRecorder>(new TranscriptRecorder([file](const std::string& line) {
    return std::fputs(line.c_str(), file) >= 0 && std::fputc('\n', file) != EOF && std::fflush(file) == 0;
  }));
  recorder->file_ = file;
  return recorder;
}

std::shared_ptr<TranscriptRecorder> TranscriptRecorder::Create(Sink sink) {
  return std::shared_ptr<TranscriptRecorder>(new TranscriptRecorder(std::move(sink)));
}

TranscriptRecorder::TranscriptRecorder(Sink sink) : sink_(std::move(sink)), originNs_(GetClock().NowNs()) {
  healthy_ = sink_(std::string(Transcript::kHeader));
}

TranscriptRecorder::~TranscriptRecorder() {
  Uninstall();
  if (file_) std::fclose(file_);
}

void TranscriptRecorder::SetAnnotator(Annotator annotator) {
  std::lock_guard<std::mutex> lock(mutex_);
  annotator_ = std::move(annotator);
}

void TranscriptRecorder::Install() {
  // The wrapper holds the recorder weakly: devices keep it alive, the wrapper does not.
  std::weak_ptr<TranscriptRecorder> weak = weak_from_this();
  SetSerialDeviceWrapper([weak](std::unique_ptr<SerialDevice> device) -> std::unique_ptr<SerialDevice> {
    if (auto recorder = weak.lock()) return recorder->Wrap(std::move(device));
    return device;
  });
  std::lock_guard<std::mutex> lock(mutex_);
  installed_ = true;
}

void TranscriptRecorder::Uninstall() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!installed_) return;
    installed_ = false;
  }
  SetSerialDeviceWrapper(nullptr);
}

std::unique_ptr<SerialDevice> TranscriptRecorder::Wrap(std::unique_ptr<SerialDevice> device) {
  return std::make_unique<TranscriptDevice>(std::move(device), shared_from_this());
}

void TranscriptRecorder::Record(TranscriptEntry entry) {
  const std::int64_t now = GetClock().NowNs();
  std::lock_guard<std::mutex> lock(mutex_);
  // A clock swapped under a running recording must not make time run back.
  entry.timeNs = std::max(now - originNs_, lastNs_);
  lastNs_ = entry.timeNs;
  if (healthy_ && !sink_(Transcript::FormatLine(entry))) healthy_ = false;
}

void TranscriptRecorder::RecordBytes(TranscriptEntry::Kind kind, const std::uint8_t* data, std::size_t count) {
  if (count == 0) return;
  Annotator annotator;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    annotator = annotator_;
  }
  std::string decoded = annotator ? annotator(kind == TranscriptEntry::Kind::Tx, data, count) : std::string();
  for (std::size_t at = 0; at < count; at += kBytesPerLine) {
    TranscriptEntry e;
    e.kind = kind;
    e.bytes.assign(data + at, data + std::min(count, at + kBytesPerLine));
    e.text = std::move(decoded);  // on the first line of the chunk only
    decoded.clear();
    Record(std::move(e));
  }
}

void TranscriptRecorder::Note(const std::string& text) {
  TranscriptEntry e;
  e.kind = TranscriptEntry::Kind::Note;
  e.text = text;
  Record(std::move(e));
}

bool TranscriptRecorder::Healthy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return healthy_;
}

}  // namespace afx
