// Winsock. Every open socket holds one start of the library (WSAStartup
// counts them), so the library is in use exactly while sockets are open.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "afx/Socket.h"
#include "afx/Trace.h"

namespace afx {

namespace {
SOCKET Handle(Socket socket) { return static_cast<SOCKET>(socket); }

bool StartWinsock() {
  WSADATA data{};
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
}  // namespace

Socket OpenSocket(SocketKind kind) {
  if (!StartWinsock()) return kNoSocket;
  const SOCKET s = kind == SocketKind::kStream ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)
                                               : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    AfxTrace("socket: error %d", ::WSAGetLastError());
    ::WSACleanup();
    return kNoSocket;
  }
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<Socket>(s);
}

bool CloseSocket(Socket socket) {
  const bool ok = ::closesocket(Handle(socket)) == 0;
  ::WSACleanup();
  return ok;
}

bool ResolveHost(const std::string& host, std::uint16_t port, SocketAddress* address) {
  if (!StartWinsock()) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  in_addr ip{};
  bool ok = true;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
    ip = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  } else if (::inet_pton(AF_INET, host.c_str(), &ip) != 1) {
    AfxTrace("socket: cannot resolve %s", host.c_str());
    ok = false;
  }
  ::WSACleanup();
  if (!ok) return false;
  address->address = ntohl(ip.s_addr);
  address->port = port;
  return true;
}

bool ConnectSocket(Socket socket, const SocketAddress& address, std::uint32_t timeoutMs) {
  const SOCKET s = Handle(socket);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address.address);
  to.sin_port = htons(address.port);
  u_long on = 1;
  if (::ioctlsocket(s, FIONBIO, &on) != 0) return false;
  int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (rc != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    // A host that never answers would hold a blocking connect for long.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    rc = -1;
    if (::select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(s, &writable)) {
      int error = 0;
      int len = sizeof error;
      if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0 && error == 0) rc = 0;
    }
  }
  if (rc != 0) AfxTrace("socket: connect: error %d", ::WSAGetLastError());
  u_long off = 0;
  ::ioctlsocket(s, FIONBIO, &off);
  return rc == 0;
}

bool SetSocketReceiveTimeout(Socket socket, std::uint32_t ms) {
  const DWORD timeout = ms;
  return ::setsockopt(Handle(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                      sizeof timeout) == 0;
}

bool SetSocketBlocking(Socket socket) {
  u_long off = 0;
  return ::ioctlsocket(Handle(socket), FIONBIO, &off) == 0;
}

bool SetSocketKeepAlive(Socket socket) {
  const BOOL on = TRUE;
  return ::setsockopt(Handle(socket), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

long SendOnSocket(Socket socket, const void* data, std::size_t count) {
  return ::send(Handle(socket), static_cast<const char*>(data), static_cast<int>(count), 0);
}

long ReceiveFromSocket(Socket socket, void* buffer, std::size_t size, bool* timedOut) {
  const int n = ::recv(Handle(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
  const int error = n < 0 ? ::WSAGetLastError() : 0;
  *timedOut = error == WSAETIMEDOUT || error == WSAEWOULDBLOCK || error == WSAEINTR;
  // A datagram longer than the buffer arrives cut, as recv does elsewhere.
  if (error == WSAEMSGSIZE) return static_cast<long>(size);
  return n;
}

}  // namespace afx
