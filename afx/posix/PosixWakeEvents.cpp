#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "afx/WakeEvents.h"

namespace afx {

struct WakeEvents::State {
  std::vector<int> fds;  // one eventfd per event
};

WakeEvents::WakeEvents(int count) : state_(std::make_unique<State>()) {
  for (int i = 0; i < count; ++i) state_->fds.push_back(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

WakeEvents::~WakeEvents() {
  for (int fd : state_->fds)
    if (fd >= 0) ::close(fd);
}

bool WakeEvents::Valid() const {
  for (int fd : state_->fds)
    if (fd < 0) return false;
  return true;
}

void WakeEvents::Raise(int index) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(state_->fds[static_cast<size_t>(index)], &one, sizeof one);
}

void WakeEvents::Lower(int index) {
  std::uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = ::read(state_->fds[static_cast<size_t>(index)], &value, sizeof value);
}

bool WakeEvents::IsRaised(int index) {
  pollfd event{state_->fds[static_cast<size_t>(index)], POLLIN, 0};
  return ::poll(&event, 1, 0) > 0;
}

WakeEvents::Result WakeEvents::Wait(int deviceFd, bool read, bool write, int ms) {
  std::vector<pollfd> fds;
  for (int fd : state_->fds) fds.push_back({fd, POLLIN, 0});
  short deviceEvents = 0;
  if (read) deviceEvents |= POLLIN;
  if (write) deviceEvents |= POLLOUT;
  fds.push_back({deviceFd >= 0 && deviceEvents ? deviceFd : -1, deviceEvents, 0});
  Result result;
  result.ready = ::poll(fds.data(), fds.size(), ms);
  result.failed = result.ready < 0 && errno != EINTR;
  for (size_t i = 0; i + 1 < fds.size(); ++i)
    if (fds[i].revents & POLLIN) result.raised |= 1u << i;
  const short device = fds.back().revents;
  result.readable = device & POLLIN;
  result.writable = device & POLLOUT;
  result.error = device & POLLERR;
  result.hangUp = device & POLLHUP;
  return result;
}

}  // namespace afx
