// When a read of a serial device is complete, under the COMMTIMEOUTS rules
// (afx/SerialDevice.h). The blocking read of SerialDevice and the receive
// thread of the threaded port both follow these rules through this class.
#pragma once
#include <cstdint>

#include "afx/SerialDevice.h"

namespace afx {

class SerialReadTimer {
 public:
  // A read of up to `count` bytes issued at `startNs` (afx::GetClock() time).
  SerialReadTimer(const COMMTIMEOUTS& timeouts, DWORD count, std::int64_t startNs);

  // Records that bytes arrived at `nowNs` (the interval rule counts from the last one).
  void BytesArrived(std::int64_t nowNs) { lastByteNs_ = nowNs; }
  // Whether the read is complete with `got` bytes at `nowNs`.
  bool Complete(DWORD got, std::int64_t nowNs) const;
  // The moment the read completes by time alone with `got` bytes; INT64_MAX
  // when time alone never completes it (a read that returns at once does not wait).
  std::int64_t Deadline(DWORD got) const;

 private:
  enum class Rule { AtOnce, FirstByte, Totals };
  Rule rule_;
  DWORD count_;
  std::int64_t totalDeadlineNs_ = INT64_MAX;
  std::int64_t intervalNs_ = 0;  // 0: no interval rule
  std::int64_t lastByteNs_;
};

}  // namespace afx
