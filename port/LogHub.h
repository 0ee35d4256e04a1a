// Where log nodes send their lines: the hub hands each line to every
// subscriber whose level is high enough, and remembers the highest level it
// saw so that nodes can skip formatting lines nobody wants.
#pragma once
#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

#include "afx/Clock.h"

class CLogNode;
class CLogSubscriber;

class CLogHub {
 public:
  // Records the local time now, from which every line's time of day is counted.
  CLogHub();
  ~CLogHub();
  CLogHub(const CLogHub&) = delete;
  CLogHub& operator=(const CLogHub&) = delete;

  // Subscribers are not owned; they stay listed until removed.
  void AddSubscriber(CLogSubscriber* subscriber);
  void RemoveSubscriber(CLogSubscriber* subscriber);

  // Hands `text` to every subscriber whose level is at least `level`, in list
  // order, and refreshes the highest level.
  void Emit(const char* text, int level);
  // The highest subscriber level seen at the last emission (0 before any).
  int HighestLevel();

  void AttachNode(CLogNode* node);
  // No effect when `node` is not listed.
  void DetachNode(CLogNode* node);
  std::size_t NodeCount();

  const SYSTEMTIME& StartTime() const { return m_startTime; }
  std::int64_t StartCounter() const { return m_startCounter; }

 private:
  std::mutex m_lock;
  std::list<CLogNode*> m_nodes;
  std::vector<CLogSubscriber*> m_subscribers;
  int m_highestLevel = 0;
  SYSTEMTIME m_startTime{};
  std::int64_t m_startCounter = 0;
};
