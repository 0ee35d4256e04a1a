#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "afx/Socket.h"
#include "afx/Trace.h"

namespace afx {

namespace {
int Fd(Socket socket) { return static_cast<int>(socket); }
}  // namespace

Socket OpenSocket(SocketKind kind) {
  const int fd = ::socket(AF_INET, (kind == SocketKind::kStream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    AfxTrace("socket: %s", std::strerror(errno));
    return kNoSocket;
  }
  return fd;
}

bool CloseSocket(Socket socket) { return ::close(Fd(socket)) == 0; }

bool ResolveHost(const std::string& host, std::uint16_t port, SocketAddress* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  in_addr ip{};
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
    ip = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  } else if (::inet_pton(AF_INET, host.c_str(), &ip) != 1) {
    // Not a name the resolver knows, nor a dotted address.
    AfxTrace("socket: cannot resolve %s", host.c_str());
    return false;
  }
  address->address = ntohl(ip.s_addr);
  address->port = port;
  return true;
}

bool ConnectSocket(Socket socket, const SocketAddress& address, std::uint32_t timeoutMs) {
  const int fd = Fd(socket);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address.address);
  to.sin_port = htons(address.port);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
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
  if (rc != 0) AfxTrace("socket: connect: %s", std::strerror(errno));
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return rc == 0;
}

bool SetSocketReceiveTimeout(Socket socket, std::uint32_t ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return ::setsockopt(Fd(socket), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool SetSocketBlocking(Socket socket) {
  const int flags = ::fcntl(Fd(socket), F_GETFL);
  return flags >= 0 && ::fcntl(Fd(socket), F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SetSocketKeepAlive(Socket socket) {
  const int on = 1;
  return ::setsockopt(Fd(socket), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
}

long SendOnSocket(Socket socket, const void* data, std::size_t count) {
  return static_cast<long>(::send(Fd(socket), data, count, MSG_NOSIGNAL));
}

long ReceiveFromSocket(Socket socket, void* buffer, std::size_t size, bool* timedOut) {
  const ssize_t n = ::recv(Fd(socket), buffer, size, 0);
  *timedOut = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  return static_cast<long>(n);
}

}  // namespace afx
