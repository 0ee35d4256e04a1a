// A sink of log lines: it receives every line whose level is at most its own.
#pragma once

class CLogSubscriber {
 public:
  virtual ~CLogSubscriber() = default;
  // 0..3; a line reaches this subscriber when its level is at most this.
  virtual int GetLevel() = 0;
  // Takes one finished line. Must not log to the same hub.
  virtual void Write(const char* text, int level) = 0;
};
