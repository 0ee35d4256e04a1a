#include <chrono>
#include <condition_variable>
#include <mutex>

#include "afx/WakeEvents.h"

namespace afx {

// No device descriptors to wait on here: the events alone, under a lock.
struct WakeEvents::State {
  std::mutex mutex;
  std::condition_variable changed;
  unsigned raised = 0;
};

WakeEvents::WakeEvents(int) : state_(std::make_unique<State>()) {}

WakeEvents::~WakeEvents() = default;

bool WakeEvents::Valid() const { return true; }

void WakeEvents::Raise(int index) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->raised |= 1u << index;
  }
  state_->changed.notify_all();
}

void WakeEvents::Lower(int index) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->raised &= ~(1u << index);
}

bool WakeEvents::IsRaised(int index) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return (state_->raised & (1u << index)) != 0;
}

WakeEvents::Result WakeEvents::Wait(int, bool, bool, int ms) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return state_->raised != 0; });
  Result result;
  result.raised = state_->raised;
  result.ready = result.raised ? 1 : 0;
  return result;
}

}  // namespace afx
