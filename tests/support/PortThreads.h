// For tests of ports that run their own threads in real time.
#pragma once
#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "port/LogNode.h"
#include "port/SerialPortInterface.h"

namespace testsupport {

// Polls `condition` for up to `ms`.
template <typename F>
bool Eventually(F condition, int ms = 3000) {
  for (int i = 0; i < ms; ++i) {
    if (condition()) return true;
    poll(nullptr, 0, 1);
  }
  return condition();
}

// An owned byte array, as the ports take them.
inline std::unique_ptr<CByteArray> Array(const std::string& text) {
  return std::make_unique<CByteArray>(text.begin(), text.end());
}

// What a port's receive handler was given, and on which thread.
struct Received {
  std::mutex mutex;
  std::condition_variable changed;
  std::string bytes;
  std::vector<std::string> chunks;
  std::thread::id thread;
  CLogNode* log = nullptr;

  static void Handler(void* context, const BYTE* data, DWORD count) {
    auto* self = static_cast<Received*>(context);
    if (self->log) self->log->Log0("received %u bytes", count);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->bytes.append(reinterpret_cast<const char*>(data), count);
    self->chunks.emplace_back(reinterpret_cast<const char*>(data), count);
    self->thread = std::this_thread::get_id();
    self->changed.notify_all();
  }
  bool WaitFor(std::size_t size, int ms = 3000) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return bytes.size() >= size; });
  }
  std::string Bytes() {
    std::lock_guard<std::mutex> lock(mutex);
    return bytes;
  }
};

}  // namespace testsupport
