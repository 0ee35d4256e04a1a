// The value encoding both radio settings dictionaries share: values one, two
// or four bytes wide, big-endian, a 16-bit byte sum over the block, and the
// channel codes a radio accepts.
#pragma once
#include <cstddef>
#include <vector>

#include "afx/WinTypes.h"

class CRadioValue {
 public:
  static constexpr BYTE kByte = 1;
  static constexpr BYTE kWord = 2;
  static constexpr BYTE kLong = 4;

  static bool IsScalarKind(BYTE kind) { return kind == kByte || kind == kWord || kind == kLong; }
  // The largest value a scalar of `kind` holds.
  static DWORD KindLimit(BYTE kind) { return kind == kLong ? 0xFFFFFFFFu : (1u << (8 * kind)) - 1; }
  static bool IsChannelCode(DWORD value);

  static WORD Sum(const BYTE* data, size_t size);
  static DWORD ReadBe(const BYTE* data, size_t width);
  static void AppendBe(std::vector<BYTE>& out, DWORD value, size_t width);
};
