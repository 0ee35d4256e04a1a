#include "port/SocketLibrary.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "afx/Trace.h"

namespace {
std::atomic<int>& SocketCount() {
  static std::atomic<int> count{0};
  return count;
}
}  // namespace

int CSocketLibrary::Open(int type) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    TRACE("socket: %s", std::strerror(errno));
    return -1;
  }
  SocketCount()++;
  return fd;
}

bool CSocketLibrary::Close(int& fd) {
  if (fd < 0) return false;
  const bool ok = ::close(fd) == 0;
  fd = -1;
  SocketCount()--;
  return ok;
}

int CSocketLibrary::OpenSockets() { return SocketCount().load(); }

bool CSocketLibrary::ParseName(const char* name, WORD defaultPort, std::string* host, WORD* port) {
  if (!name) return false;
  const char* colon = std::strchr(name, ':');
  if (!colon) return false;
  const std::string rest = colon + 1;
  const std::size_t second = rest.find(':');
  *host = rest.substr(0, second);
  *port = defaultPort;
  if (second != std::string::npos) {
    const std::string digits = rest.substr(second + 1);
    if (digits.empty() || digits.size() > 5) return false;
    unsigned value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = static_cast<WORD>(value);
  }
  return !host->empty();
}

bool CSocketLibrary::Resolve(const std::string& host, WORD port, sockaddr_in* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
    // Not a name the resolver knows; a dotted address still reaches its host.
    in_addr dotted{};
    if (::inet_pton(AF_INET, host.c_str(), &dotted) != 1) {
      TRACE("socket: cannot resolve %s", host.c_str());
      return false;
    }
    *address = sockaddr_in{};
    address->sin_family = AF_INET;
    address->sin_addr = dotted;
  } else {
    std::memcpy(address, found->ai_addr, sizeof *address);
    ::freeaddrinfo(found);
  }
  address->sin_port = htons(port);
  return true;
}

bool CSocketLibrary::Connect(int fd, const sockaddr_in& address, DWORD timeoutMs) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINPROGRESS) {
    // A host that never answers would hold a blocking connect for minutes.
    pollfd pfd{fd, POLLOUT, 0};
    int error = ETIMEDOUT;
    if (::poll(&pfd, 1, static_cast<int>(timeoutMs)) == 1) {
      socklen_t len = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    }
    rc = error == 0 ? 0 : -1;
    errno = error;
  }
  if (rc != 0) TRACE("socket: connect: %s", std::strerror(errno));
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return rc == 0;
}

bool CSocketLibrary::SetReceiveTimeout(int fd, DWORD ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool CSocketLibrary::SetBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool CSocketLibrary::SetKeepAlive(int fd) {
  const int on = 1;
  return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
}
