#include "afx/ReplaySession.h"

#include <algorithm>

#include "afx/Clock.h"
#include "afx/ReplayDevice.h"
#include "afx/Trace.h"

namespace afx {

namespace {

std::string HexByte(std::uint8_t b) {
  constexpr char kHex[] = "0123456789ABCDEF";
  return std::string{kHex[b >> 4], kHex[b & 15]};
}

// The entry's line without its time.
std::string Bare(const TranscriptEntry& e) {
  const std::string line = Transcript::FormatLine(e);
  return line.substr(line.find(' ') + 1);
}

bool IsHostAction(TranscriptEntry::Kind kind) {
  return kind != TranscriptEntry::Kind::Rx && kind != TranscriptEntry::Kind::Note;
}

}  // namespace

std::shared_ptr<ReplaySession> ReplaySession::Load(const std::string& path, std::string* error) {
  std::vector<TranscriptEntry> entries;
  std::vector<std::size_t> lines;
  if (!Transcript::ReadFile(path, &entries, error, &lines)) return nullptr;
  return Create(std::move(entries), path, std::move(lines));
}

std::shared_ptr<ReplaySession> ReplaySession::Create(std::vector<TranscriptEntry> entries, std::string name,
                                                     std::vector<std::size_t> lines) {
  return std::shared_ptr<ReplaySession>(new ReplaySession(std::move(entries), std::move(name), std::move(lines)));
}

ReplaySession::ReplaySession(std::vector<TranscriptEntry> entries, std::string name, std::vector<std::size_t> lines)
    : entries_(std::move(entries)), lines_(std::move(lines)), name_(std::move(name)) {
  if (lines_.size() != entries_.size()) {
    lines_.resize(entries_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) lines_[i] = i + 2;  // line 1 is the header
  }
}

ReplaySession::~ReplaySession() { Uninstall(); }

void ReplaySession::Install() {
  std::weak_ptr<ReplaySession> weak = weak_from_this();
  RegisterSerialDeviceProvider(kPrefix, [weak](const std::string& path, DWORD* error) -> std::unique_ptr<SerialDevice> {
    auto session = weak.lock();
    if (!session || path != session->DevicePath()) {
      *error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    return session->Open(path, error);
  });
  std::lock_guard<std::mutex> lock(mutex_);
  installed_ = true;
}

void ReplaySession::Uninstall() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!installed_) return;
    installed_ = false;
  }
  UnregisterSerialDeviceProvider(kPrefix);
}

std::unique_ptr<SerialDevice> ReplaySession::Open(const std::string& path, DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!deviation_.empty()) {
    *error = ERROR_GEN_FAILURE;
    return nullptr;
  }
  if (open_) {
    *error = ERROR_ACCESS_DENIED;  // like a real port: one user at a time
    return nullptr;
  }
  if (!started_) {
    started_ = true;
    startNs_ = GetClock().NowNs();
  }
  AdvanceLocked();
  if (next_ >= entries_.size() || entries_[next_].kind != TranscriptEntry::Kind::Open || txOffset_ > 0) {
    DeviateLocked("opened the port", next_);
    *error = ERROR_GEN_FAILURE;
    return nullptr;
  }
  AnchorLocked(next_);
  ++next_;
  due_.clear();
  open_ = true;
  AdvanceLocked();
  return std::make_unique<ReplayDevice>(shared_from_this(), path);
}

bool ReplaySession::Act(const TranscriptEntry& action) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!deviation_.empty()) return false;
  AdvanceLocked();
  bool same = next_ < entries_.size() && txOffset_ == 0;
  if (same) {
    const TranscriptEntry& e = entries_[next_];
    same = e.kind == action.kind &&
           (action.kind == TranscriptEntry::Kind::Line ? e.line == action.line : e.value == action.value);
  }
  if (!same) {
    DeviateLocked("did `" + Bare(action) + "`", next_);
    return false;
  }
  AnchorLocked(next_);
  ++next_;
  AdvanceLocked();
  return true;
}

bool ReplaySession::Write(const std::uint8_t* data, DWORD count, DWORD* accepted) {
  std::lock_guard<std::mutex> lock(mutex_);
  *accepted = 0;
  if (!deviation_.empty()) return false;
  AdvanceLocked();
  for (DWORD i = 0; i < count; ++i) {
    if (next_ >= entries_.size() || entries_[next_].kind != TranscriptEntry::Kind::Tx) {
      DeviateLocked("wrote " + HexByte(data[i]), next_);
      return false;
    }
    const TranscriptEntry& e = entries_[next_];
    if (data[i] != e.bytes[txOffset_]) {
      DeviateLocked("wrote " + HexByte(data[i]), next_);
      return false;
    }
    ++txOffset_;
    ++hostBytes_;
    *accepted = i + 1;
    if (txOffset_ == e.bytes.size()) {
      txOffset_ = 0;
      AnchorLocked(next_);
      ++next_;
      AdvanceLocked();
    }
  }
  return true;
}

DWORD ReplaySession::Take(std::uint8_t* out, DWORD max) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t now = GetClock().NowNs();
  DWORD n = 0;
  while (n < max && !due_.empty() && due_.front().atNs <= now) {
    Due& d = due_.front();
    const std::size_t k = std::min<std::size_t>(max - n, d.bytes.size() - d.taken);
    std::copy_n(d.bytes.begin() + static_cast<std::ptrdiff_t>(d.taken), k, out + n);
    d.taken += k;
    n += static_cast<DWORD>(k);
    if (d.taken == d.bytes.size()) due_.pop_front();
  }
  return n;
}

std::int64_t ReplaySession::NextArrivalNs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return due_.empty() ? INT64_MAX : due_.front().atNs;
}

void ReplaySession::CloseDevice() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return;
  open_ = false;
  due_.clear();
  if (!deviation_.empty()) return;
  AdvanceLocked();
  if (next_ >= entries_.size() || entries_[next_].kind != TranscriptEntry::Kind::Close || txOffset_ > 0) {
    DeviateLocked("closed the port", next_);
    return;
  }
  AnchorLocked(next_);
  ++next_;
  AdvanceLocked();
}

std::string ReplaySession::Deviation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deviation_;
}

std::string ReplaySession::Unfinished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t first = entries_.size();
  std::size_t more = 0;
  for (std::size_t i = next_; i < entries_.size(); ++i) {
    if (!IsHostAction(entries_[i].kind)) continue;
    if (first == entries_.size()) first = i;
    else ++more;
  }
  if (first == entries_.size()) return {};
  std::string text = "replay of " + name_ + ": the host stopped before the recording did; it continues at line " +
                     std::to_string(lines_[first]) + " with `" + Bare(entries_[first]) + "`";
  if (more) text += " and " + std::to_string(more) + " more host action" + (more == 1 ? "" : "s");
  return text;
}

void ReplaySession::AdvanceLocked() {
  if (txOffset_ > 0) return;
  while (next_ < entries_.size()) {
    const TranscriptEntry& e = entries_[next_];
    if (e.kind == TranscriptEntry::Kind::Note) {
      ++next_;
    } else if (e.kind == TranscriptEntry::Kind::Rx) {
      // The device answered this long after the host's last action.
      const std::int64_t delay = std::max<std::int64_t>(0, e.timeNs - anchorRecordedNs_);
      due_.push_back(Due{anchorNowNs_ + delay, e.bytes});
      ++next_;
    } else {
      break;
    }
  }
}

void ReplaySession::AnchorLocked(std::size_t index) {
  anchorNowNs_ = GetClock().NowNs();
  anchorRecordedNs_ = entries_[index].timeNs;
}

std::int64_t ReplaySession::ElapsedLocked() const { return GetClock().NowNs() - startNs_; }

std::string ReplaySession::Describe(std::size_t index) const {
  if (index >= entries_.size()) return "nothing more";
  const TranscriptEntry& e = entries_[index];
  std::string where = " (line " + std::to_string(lines_[index]) + ", recorded at " + Transcript::TimeText(e.timeNs) + " s)";
  if (e.kind == TranscriptEntry::Kind::Tx && txOffset_ < e.bytes.size())
    return HexByte(e.bytes[txOffset_]) + where + (txOffset_ ? ", byte " + std::to_string(txOffset_ + 1) + " of that line" : "");
  return "`" + Bare(e) + "`" + where;
}

void ReplaySession::DeviateLocked(const std::string& what, std::size_t index) {
  if (!deviation_.empty()) return;
  deviation_ = "replay of " + name_ + ": the host left the recording at byte offset " + std::to_string(hostBytes_) +
               " of its output, " + Transcript::TimeText(ElapsedLocked()) + " s into the replay: it " + what +
               " where the recording has " + Describe(index);
  AfxTrace("%s", deviation_.c_str());
}

}  // namespace afx
