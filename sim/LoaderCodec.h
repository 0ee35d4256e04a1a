// The monitor's reading and writing of loader frames: STX, command, 16-bit
// length, data, 16-bit sum of command, length bytes and data, ETX. No status
// byte and no ACK/NAK. Written apart from the plug-in's loader packets.
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

struct LoaderFrame {
  std::uint8_t command = 0;
  std::vector<std::uint8_t> data;
};

class LoaderCodec {
 public:
  // Frames announcing more than `maxLength` data bytes are ignored (hunt again).
  explicit LoaderCodec(std::uint32_t maxLength = 2055) : maxLength_(maxLength) {}

  static std::vector<std::uint8_t> Encode(std::uint8_t command, const std::vector<std::uint8_t>& data);
  // The 16-bit checksum the frame for `command` and `data` carries.
  static std::uint16_t Checksum(std::uint8_t command, const std::vector<std::uint8_t>& data);

  // Feeds one byte; true when it completed a valid frame (Frame()).
  bool Feed(std::uint8_t byte);
  const LoaderFrame& Frame() const { return frame_; }
  void Reset() { state_ = State::Hunt; }
  bool InFrame() const { return state_ != State::Hunt; }

 private:
  enum class State { Hunt, Command, LengthHigh, LengthLow, Data, SumHigh, SumLow, End };
  std::uint32_t maxLength_;
  State state_ = State::Hunt;
  LoaderFrame frame_;
  std::uint32_t length_ = 0;
  std::uint16_t sum_ = 0;
  std::uint16_t received_ = 0;
};

}  // namespace sim
