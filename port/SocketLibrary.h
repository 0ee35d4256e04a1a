// The socket calls the network ports share, and the process-wide count of
// sockets they hold open. The count is the one piece of shared state the
// ports have: the first socket starts the socket library's use and the last
// one ends it, and it tells tests that every port closed what it opened.
#pragma once
#include <string>

#include "afx/Socket.h"
#include "afx/WinTypes.h"

class CSocketLibrary {
 public:
  // A new IPv4 socket; afx::kNoSocket on failure.
  static afx::Socket Open(afx::SocketKind kind);
  // Closes `socket` and sets it to afx::kNoSocket; FALSE when there was nothing to close.
  static bool Close(afx::Socket& socket);
  // Sockets opened through Open and not yet closed.
  static int OpenSockets();

  // Splits "TCP:host[:port]" into host and port. FALSE for an empty host, a
  // port of 0, or a port that is not a number up to 65535.
  static bool ParseName(const char* name, WORD defaultPort, std::string* host, WORD* port);
  // Looks up `host` by name (a dotted address is a name too); FALSE when unknown.
  static bool Resolve(const std::string& host, WORD port, afx::SocketAddress* address);
  // Connects, giving up after `timeoutMs`; the socket is blocking afterwards.
  static bool Connect(afx::Socket socket, const afx::SocketAddress& address, DWORD timeoutMs);
  static bool SetReceiveTimeout(afx::Socket socket, DWORD ms);
  static bool SetBlocking(afx::Socket socket);
  static bool SetKeepAlive(afx::Socket socket);
};
