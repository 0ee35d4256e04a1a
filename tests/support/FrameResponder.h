// Answers the frames a host writes on a ScriptedLine: collects the written
// bytes, cuts out whole loader frames or long-form report frames, and feeds
// whatever the test's handler returns. Frames are cut by their own length
// fields, so a request written in several pieces is seen once.
#pragma once
#include <functional>
#include <optional>

#include "support/Frames.h"
#include "support/ScriptedIo.h"

namespace test {

struct SeenFrame {
  int type = 0;
  Bytes data;
};

class FrameResponder {
 public:
  enum class Kind { Loader, LongReport };
  // Returns the bytes to feed (possibly empty: silence) for one request.
  using Handler = std::function<Bytes(const SeenFrame&)>;

  FrameResponder(ScriptedLine& line, Kind kind, Handler handler, std::int64_t delayMs = 1)
      : kind_(kind), handler_(std::move(handler)), delayMs_(delayMs) {
    line.onWrite = [this](ScriptedLine& l, const Bytes& bytes) {
      pending_.insert(pending_.end(), bytes.begin(), bytes.end());
      while (std::optional<SeenFrame> f = Cut()) {
        frames.push_back(*f);
        l.Feed(handler_(*f), delayMs_);
      }
    };
  }

  std::vector<SeenFrame> frames;

  size_t Count(int type) const {
    size_t n = 0;
    for (const SeenFrame& f : frames) n += f.type == type ? 1 : 0;
    return n;
  }

 private:
  std::optional<SeenFrame> Cut() {
    while (!pending_.empty() && pending_[0] != 0x02) pending_.erase(pending_.begin());
    const size_t head = kind_ == Kind::Loader ? 4 : 5;
    const size_t tail = kind_ == Kind::Loader ? 3 : 2;
    if (pending_.size() < head) return std::nullopt;
    const size_t typeAt = kind_ == Kind::Loader ? 1 : 2;
    const size_t n = static_cast<size_t>(pending_[head - 2]) << 8 | pending_[head - 1];
    if (pending_.size() < head + n + tail) return std::nullopt;
    SeenFrame f;
    f.type = pending_[typeAt];
    f.data.assign(pending_.begin() + static_cast<std::ptrdiff_t>(head),
                  pending_.begin() + static_cast<std::ptrdiff_t>(head + n));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(head + n + tail));
    return f;
  }

  Kind kind_;
  Handler handler_;
  std::int64_t delayMs_;
  Bytes pending_;
};

}  // namespace test
