#include "port/LogHub.h"

#include <algorithm>

#include "port/LogSubscriber.h"

CLogHub::CLogHub() {
  GetLocalTime(&m_startTime);
  QueryPerformanceCounter(&m_startCounter);
}

CLogHub::~CLogHub() {
  std::list<Member*> members;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    members.swap(m_members);
  }
  // Members that outlive the hub must not reach back into it.
  for (Member* member : members) member->HubGone(this);
}

void CLogHub::AddSubscriber(CLogSubscriber* subscriber) {
  if (!subscriber) return;
  std::lock_guard<std::mutex> lock(m_lock);
  m_subscribers.push_back(subscriber);
}

void CLogHub::RemoveSubscriber(CLogSubscriber* subscriber) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_subscribers.erase(std::remove(m_subscribers.begin(), m_subscribers.end(), subscriber), m_subscribers.end());
}

void CLogHub::Emit(const char* text, int level) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_highestLevel = 0;
  for (CLogSubscriber* subscriber : m_subscribers) {
    const int wanted = subscriber->GetLevel();
    if (wanted >= level) subscriber->Write(text, level);
    m_highestLevel = std::max(m_highestLevel, wanted);
  }
}

int CLogHub::HighestLevel() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_highestLevel;
}

void CLogHub::AddMember(Member* member) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_members.push_back(member);
}

void CLogHub::RemoveMember(Member* member) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = std::find(m_members.begin(), m_members.end(), member);
  if (it != m_members.end()) m_members.erase(it);
}

std::size_t CLogHub::MemberCount() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_members.size();
}
