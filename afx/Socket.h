// IPv4 sockets, as the network ports use them: TCP and UDP, name look-up,
// a connect with a time-out, receive time-outs. Standard types only, so that
// each system's backend (BSD sockets, Winsock) includes its own headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace afx {

// A socket; kNoSocket when there is none.
using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

enum class SocketKind { kStream, kDatagram };

// An IPv4 address and port, in host order.
struct SocketAddress {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

// A new socket; kNoSocket on failure. Winsock is started for as long as a
// socket is open.
Socket OpenSocket(SocketKind kind);
// Closes `socket`; false when the system refused.
bool CloseSocket(Socket socket);
// Looks up `host` by name (a dotted address is a name too); false when unknown.
bool ResolveHost(const std::string& host, std::uint16_t port, SocketAddress* address);
// Connects, giving up after `timeoutMs` (a datagram socket connects at
// once); the socket is blocking afterwards.
bool ConnectSocket(Socket socket, const SocketAddress& address, std::uint32_t timeoutMs);
bool SetSocketReceiveTimeout(Socket socket, std::uint32_t ms);
bool SetSocketBlocking(Socket socket);
bool SetSocketKeepAlive(Socket socket);
// Sends, raising no signal when the peer is gone: the bytes sent, or -1.
long SendOnSocket(Socket socket, const void* data, std::size_t count);
// Receives: the bytes received, 0 when the peer closed the stream, -1 on
// failure; *timedOut tells a receive time-out (or an interrupted wait),
// after which the caller tries again, from a failure.
long ReceiveFromSocket(Socket socket, void* buffer, std::size_t size, bool* timedOut);

}  // namespace afx
