// The socket calls the network ports share, and the process-wide count of
// sockets they hold open. The count is the one piece of shared state the
// ports have: the first socket starts the socket library's use and the last
// one ends it, and it tells tests that every port closed what it opened.
#pragma once
#include <netinet/in.h>

#include <string>

#include "afx/WinTypes.h"

class CSocketLibrary {
 public:
  // A new IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM); -1 on failure.
  static int Open(int type);
  // Closes `fd` and sets it to -1; FALSE when there was nothing to close.
  static bool Close(int& fd);
  // Sockets opened through Open and not yet closed.
  static int OpenSockets();

  // Splits "TCP:host[:port]" into host and port. FALSE for an empty host, a
  // port of 0, or a port that is not a number up to 65535.
  static bool ParseName(const char* name, WORD defaultPort, std::string* host, WORD* port);
  // Looks up `host` by name (a dotted address is a name too); FALSE when unknown.
  static bool Resolve(const std::string& host, WORD port, sockaddr_in* address);
  // Connects, giving up after `timeoutMs`; the socket is blocking afterwards.
  static bool Connect(int fd, const sockaddr_in& address, DWORD timeoutMs);
  static bool SetReceiveTimeout(int fd, DWORD ms);
  static bool SetBlocking(int fd);
  static bool SetKeepAlive(int fd);
};
