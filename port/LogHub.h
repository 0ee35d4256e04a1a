// Where log nodes send their lines: the hub hands each line to every
// subscriber whose level is high enough, and remembers the highest level it
// saw so that nodes can skip formatting lines nobody wants.
#pragma once
#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

#include "afx/Clock.h"

class CLogSubscriber;

class CLogHub {
 public:
  // Whatever sends lines to a hub joins it as a member, so that a hub that
  // goes first can tell it.
  class Member {
   public:
    // `hub` is going away while this member is still listed.
    virtual void HubGone(CLogHub* hub) = 0;

   protected:
    ~Member() = default;
  };

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

  void AddMember(Member* member);
  // No effect when `member` is not listed.
  void RemoveMember(Member* member);
  std::size_t MemberCount();

  const SYSTEMTIME& StartTime() const { return m_startTime; }
  std::int64_t StartCounter() const { return m_startCounter; }

 private:
  std::mutex m_lock;
  std::list<Member*> m_members;
  std::vector<CLogSubscriber*> m_subscribers;
  int m_highestLevel = 0;
  SYSTEMTIME m_startTime{};
  std::int64_t m_startCounter = 0;
};
