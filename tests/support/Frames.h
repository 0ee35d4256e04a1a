// Frames as the receiver sends them, built independently of the packet
// classes so that a framing mistake cannot hide by being made on both sides.
#pragma once
#include <vector>

#include "support/ScriptedIo.h"

namespace test {

// Report frame, short form: STX status type len data sum ETX.
inline Bytes ReportFrame(int type, const Bytes& data, int status = 0) {
  Bytes f = {0x02, static_cast<BYTE>(status), static_cast<BYTE>(type), static_cast<BYTE>(data.size())};
  int sum = status + type + static_cast<int>(data.size());
  for (BYTE b : data) sum += b;
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(static_cast<BYTE>(sum));
  f.push_back(0x03);
  return f;
}

// Report frame, long form: two length bytes, high first.
inline Bytes LongReportFrame(int type, const Bytes& data, int status = 0) {
  const size_t n = data.size();
  Bytes f = {0x02, static_cast<BYTE>(status), static_cast<BYTE>(type), static_cast<BYTE>(n >> 8),
             static_cast<BYTE>(n)};
  int sum = status + type + static_cast<int>((n >> 8) & 0xFF) + static_cast<int>(n & 0xFF);
  for (BYTE b : data) sum += b;
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(static_cast<BYTE>(sum));
  f.push_back(0x03);
  return f;
}

// Loader frame: STX cmd lenHi lenLo data sumHi sumLo ETX, 16-bit sum without STX.
inline Bytes LoaderFrame(int command, const Bytes& data) {
  const size_t n = data.size();
  Bytes f = {0x02, static_cast<BYTE>(command), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n)};
  unsigned sum = static_cast<unsigned>(command) + ((n >> 8) & 0xFF) + (n & 0xFF);
  for (BYTE b : data) sum += b;
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(static_cast<BYTE>(sum >> 8));
  f.push_back(static_cast<BYTE>(sum));
  f.push_back(0x03);
  return f;
}

}  // namespace test
