// What both radio settings dictionaries share: a header of two magic bytes,
// a version and a count, values one, two or four bytes wide, big-endian, a
// 16-bit byte sum after the block, and the rules for the transmit power and
// the channel code.
#pragma once
#include <cstddef>
#include <vector>

#include "afx/WinTypes.h"

class CRadioValue {
 public:
  static constexpr BYTE kByte = 1;
  static constexpr BYTE kWord = 2;
  static constexpr BYTE kLong = 4;
  static constexpr DWORD kMaxTransmitPower = 20;
  static constexpr size_t kHeaderSize = 4;
  static constexpr size_t kSumSize = 2;

  static bool IsScalarKind(BYTE kind) { return kind == kByte || kind == kWord || kind == kLong; }
  // The largest value a scalar of `kind` holds.
  static DWORD KindLimit(BYTE kind) { return kind == kLong ? 0xFFFFFFFFu : (1u << (8 * kind)) - 1; }
  static bool IsChannelCode(DWORD value);
  // Both are 16-bit settings: the power 0 .. kMaxTransmitPower, the code one
  // of 0, 1, 2, 256, 512, 768, 1024.
  static bool TakesTransmitPower(BYTE kind, DWORD value) { return kind == kWord && value <= kMaxTransmitPower; }
  static bool TakesChannelCode(BYTE kind, DWORD value) { return kind == kWord && IsChannelCode(value); }

  // True when `size` bytes at `data` (at least three) start with the header.
  static bool HasHeader(const BYTE* data, size_t size, BYTE magic0, BYTE magic1, BYTE version);
  static WORD Sum(const BYTE* data, size_t size);
  // True when the two bytes at data + at hold the sum of the `at` before them.
  static bool SumHolds(const BYTE* data, size_t at);
  static DWORD ReadBe(const BYTE* data, size_t width);
  static void AppendBe(std::vector<BYTE>& out, DWORD value, size_t width);
  // Appends the sum of everything in `out`.
  static void AppendSum(std::vector<BYTE>& out);

  bool operator==(const CRadioValue&) const = default;
};
