#include "sim/LoaderCodec.h"

#include <algorithm>

#include "sim/ReportCodec.h"

namespace sim {

std::uint16_t LoaderCodec::Checksum(std::uint8_t command, const std::vector<std::uint8_t>& data) {
  const std::size_t n = std::min<std::size_t>(data.size(), 0xFFFF);
  std::uint32_t sum = command + ((n >> 8) & 0xFF) + (n & 0xFF);
  for (std::size_t i = 0; i < n; ++i) sum += data[i];
  return static_cast<std::uint16_t>(sum);
}

std::vector<std::uint8_t> LoaderCodec::Encode(std::uint8_t command, const std::vector<std::uint8_t>& data) {
  const std::size_t n = std::min<std::size_t>(data.size(), 0xFFFF);
  std::vector<std::uint8_t> out;
  out.reserve(n + 7);
  out.push_back(kStx);
  out.push_back(command);
  out.push_back(static_cast<std::uint8_t>(n >> 8));
  out.push_back(static_cast<std::uint8_t>(n));
  out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
  const std::uint16_t sum = Checksum(command, data);
  out.push_back(static_cast<std::uint8_t>(sum >> 8));
  out.push_back(static_cast<std::uint8_t>(sum));
  out.push_back(kEtx);
  return out;
}

bool LoaderCodec::Feed(std::uint8_t b) {
  switch (state_) {
    case State::Hunt:
      if (b == kStx) state_ = State::Command;
      return false;
    case State::Command:
      frame_ = LoaderFrame{};
      frame_.command = b;
      sum_ = b;
      state_ = State::LengthHigh;
      return false;
    case State::LengthHigh:
      length_ = static_cast<std::uint32_t>(b) << 8;
      sum_ = static_cast<std::uint16_t>(sum_ + b);
      state_ = State::LengthLow;
      return false;
    case State::LengthLow:
      length_ |= b;
      sum_ = static_cast<std::uint16_t>(sum_ + b);
      if (length_ > maxLength_) {
        state_ = State::Hunt;
      } else {
        frame_.data.reserve(length_);
        state_ = length_ == 0 ? State::SumHigh : State::Data;
      }
      return false;
    case State::Data:
      frame_.data.push_back(b);
      sum_ = static_cast<std::uint16_t>(sum_ + b);
      if (frame_.data.size() == length_) state_ = State::SumHigh;
      return false;
    case State::SumHigh:
      received_ = static_cast<std::uint16_t>(b << 8);
      state_ = State::SumLow;
      return false;
    case State::SumLow:
      received_ = static_cast<std::uint16_t>(received_ | b);
      state_ = received_ == sum_ ? State::End : State::Hunt;
      return false;
    case State::End:
      state_ = State::Hunt;
      return b == kEtx;
  }
  return false;
}

}  // namespace sim
