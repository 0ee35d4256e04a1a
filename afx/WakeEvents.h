// Events that other threads raise to wake one thread, which waits on them
// together with a device's descriptor where the system has one (eventfd and
// poll). Where it has none (Windows: SerialDevice::PollFd() is -1) the
// waiter looks at the device itself from time to time.
#pragma once
#include <memory>

namespace afx {

class WakeEvents {
 public:
  // What a wait saw: `ready` > 0 when something is, 0 on time-out, < 0
  // when the wait was interrupted or `failed`; `raised` has bit i set for
  // each raised event i.
  struct Result {
    int ready = 0;
    bool failed = false;
    unsigned raised = 0;
    bool readable = false, writable = false, error = false, hangUp = false;
  };

  explicit WakeEvents(int count);
  ~WakeEvents();
  WakeEvents(const WakeEvents&) = delete;
  WakeEvents& operator=(const WakeEvents&) = delete;

  // Whether the events could be made.
  bool Valid() const;
  // Raises event `index` (any thread); it stays raised until lowered.
  void Raise(int index);
  void Lower(int index);
  // Whether event `index` is raised now, without waiting or lowering it.
  bool IsRaised(int index);
  // Waits up to `ms` for a raised event or for the device `deviceFd` (-1:
  // none) to be readable (`read`) or writable (`write`).
  Result Wait(int deviceFd, bool read, bool write, int ms);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace afx
