#include "operations/RadioValue.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr DWORD kChannelCodes[] = {0, 1, 2, 256, 512, 768, 1024};
}  // namespace

bool CRadioValue::IsChannelCode(DWORD value) {
  return std::find(std::begin(kChannelCodes), std::end(kChannelCodes), value) != std::end(kChannelCodes);
}

bool CRadioValue::HasHeader(const BYTE* data, size_t size, BYTE magic0, BYTE magic1, BYTE version) {
  return data != nullptr && size >= 3 && data[0] == magic0 && data[1] == magic1 && data[2] == version;
}

WORD CRadioValue::Sum(const BYTE* data, size_t size) {
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return static_cast<WORD>(sum);
}

bool CRadioValue::SumHolds(const BYTE* data, size_t at) {
  return Sum(data, at) == static_cast<WORD>(ReadBe(data + at, 2));
}

DWORD CRadioValue::ReadBe(const BYTE* data, size_t width) {
  DWORD value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | data[i];
  return value;
}

void CRadioValue::AppendBe(std::vector<BYTE>& out, DWORD value, size_t width) {
  for (size_t i = width; i-- > 0;) out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

void CRadioValue::AppendSum(std::vector<BYTE>& out) { AppendBe(out, Sum(out.data(), out.size()), 2); }
