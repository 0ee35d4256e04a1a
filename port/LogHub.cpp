#include "port/LogHub.h"

#include <algorithm>

#include "port/LogNode.h"
#include "port/LogSubscriber.h"

CLogHub::CLogHub() {
  GetLocalTime(&m_startTime);
  QueryPerformanceCounter(&m_startCounter);
}

CLogHub::~CLogHub() {
  std::list<CLogNode*> nodes;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    nodes.swap(m_nodes);
  }
  // Nodes that outlive the hub must not reach back into it.
  for (CLogNode* node : nodes) node->ForgetHub(this);
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

void CLogHub::AttachNode(CLogNode* node) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_nodes.push_back(node);
}

void CLogHub::DetachNode(CLogNode* node) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = std::find(m_nodes.begin(), m_nodes.end(), node);
  if (it != m_nodes.end()) m_nodes.erase(it);
}

std::size_t CLogHub::NodeCount() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_nodes.size();
}
