#include "sim/ReportCodec.h"

#include <algorithm>

namespace sim {

ReportCodec::ReportCodec(LongTypePredicate isLong) : isLong_(std::move(isLong)) {}

std::vector<std::uint8_t> ReportCodec::Encode(std::uint8_t type, const std::vector<std::uint8_t>& data,
                                              bool longForm, std::uint8_t status) {
  const std::size_t n = std::min<std::size_t>(data.size(), longForm ? 0xFFFF : 0xFF);
  std::vector<std::uint8_t> out;
  out.reserve(n + 7);
  out.push_back(kStx);
  out.push_back(status);
  out.push_back(type);
  if (longForm) {
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    out.push_back(static_cast<std::uint8_t>(n));
  }
  std::uint32_t sum = 0;
  for (std::size_t i = 1; i < out.size(); ++i) sum += out[i];
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(data[i]);
    sum += data[i];
  }
  out.push_back(static_cast<std::uint8_t>(sum));
  out.push_back(kEtx);
  return out;
}

void ReportCodec::Reset() {
  state_ = State::Hunt;
  sum_ = 0;
  length_ = 0;
}

bool ReportCodec::Feed(std::uint8_t b) {
  switch (state_) {
    case State::Hunt:
      if (b == kStx) state_ = State::Status;
      return false;
    case State::Status:
      frame_ = ReportFrame{};
      frame_.status = b;
      sum_ = b;
      state_ = State::Type;
      return false;
    case State::Type:
      frame_.type = b;
      frame_.longForm = isLong_ && isLong_(b);
      sum_ += b;
      state_ = frame_.longForm ? State::LengthHigh : State::Length;
      return false;
    case State::LengthHigh:
      length_ = static_cast<std::uint32_t>(b) << 8;
      sum_ += b;
      state_ = State::Length;
      return false;
    case State::Length:
      length_ = frame_.longForm ? (length_ | b) : b;
      sum_ += b;
      frame_.data.clear();
      frame_.data.reserve(length_);
      state_ = length_ == 0 ? State::Checksum : State::Data;
      return false;
    case State::Data:
      frame_.data.push_back(b);
      sum_ += b;
      if (frame_.data.size() == length_) state_ = State::Checksum;
      return false;
    case State::Checksum:
      state_ = (b == static_cast<std::uint8_t>(sum_)) ? State::End : State::Hunt;
      return false;
    case State::End:
      state_ = State::Hunt;
      return b == kEtx;
  }
  return false;
}

}  // namespace sim
