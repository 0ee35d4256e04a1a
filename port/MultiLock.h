// The critical section that the network ports derive from; it guards their
// link state, socket replacement and sent counter.
#pragma once
#include <mutex>

class MultiLock {
 public:
  void Lock() { m_mutex.lock(); }
  void Unlock() { m_mutex.unlock(); }

 protected:
  std::mutex& Mutex() { return m_mutex; }

 private:
  std::mutex m_mutex;
};
