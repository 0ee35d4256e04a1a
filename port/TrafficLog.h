// The traffic-log object each operation hands to its serial interface. The
// operations never open it and nothing is written to it; it exists so that
// the interface has the log it is built with.
#pragma once

class CTrafficLog {
 public:
  CTrafficLog() = default;
  CTrafficLog(const CTrafficLog&) = delete;
  CTrafficLog& operator=(const CTrafficLog&) = delete;
};
