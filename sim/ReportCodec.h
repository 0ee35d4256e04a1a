// The receiver's own reading and writing of report frames (the application's
// protocol): STX, status, type, length (one byte, or two for long frames),
// data, 8-bit sum, ETX. Written apart from the plug-in's packet classes so
// that a framing mistake on one side shows up against the other.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;

struct ReportFrame {
  std::uint8_t status = 0;
  std::uint8_t type = 0;
  bool longForm = false;
  std::vector<std::uint8_t> data;
};

class ReportCodec {
 public:
  // Decides per packet type whether its length field is two bytes.
  using LongTypePredicate = std::function<bool(std::uint8_t type)>;

  explicit ReportCodec(LongTypePredicate isLong = nullptr);

  // The whole frame for `type` and `data`. A short frame carries at most 255
  // data bytes, a long one 65535; longer data is cut (callers never send it).
  static std::vector<std::uint8_t> Encode(std::uint8_t type, const std::vector<std::uint8_t>& data,
                                          bool longForm = false, std::uint8_t status = 0);

  // Feeds one received byte; true when it completed a valid frame (Frame()).
  // Bad checksums and missing ETX drop the frame and hunt for the next STX.
  bool Feed(std::uint8_t byte);
  const ReportFrame& Frame() const { return frame_; }
  void Reset();
  // True while a frame has begun and not yet ended.
  bool InFrame() const { return state_ != State::Hunt; }

 private:
  enum class State { Hunt, Status, Type, LengthHigh, Length, Data, Checksum, End };
  LongTypePredicate isLong_;
  State state_ = State::Hunt;
  ReportFrame frame_;
  std::uint32_t sum_ = 0;
  std::uint32_t length_ = 0;
};

}  // namespace sim
