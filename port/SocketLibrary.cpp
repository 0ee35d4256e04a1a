#include "port/SocketLibrary.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<int>& SocketCount() {
  static std::atomic<int> count{0};
  return count;
}
}  // namespace

afx::Socket CSocketLibrary::Open(afx::SocketKind kind) {
  const afx::Socket socket = afx::OpenSocket(kind);
  if (socket != afx::kNoSocket) SocketCount()++;
  return socket;
}

bool CSocketLibrary::Close(afx::Socket& socket) {
  if (socket == afx::kNoSocket) return false;
  const bool ok = afx::CloseSocket(socket);
  socket = afx::kNoSocket;
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

bool CSocketLibrary::Resolve(const std::string& host, WORD port, afx::SocketAddress* address) {
  return afx::ResolveHost(host, port, address);
}

bool CSocketLibrary::Connect(afx::Socket socket, const afx::SocketAddress& address, DWORD timeoutMs) {
  return afx::ConnectSocket(socket, address, timeoutMs);
}

bool CSocketLibrary::SetReceiveTimeout(afx::Socket socket, DWORD ms) { return afx::SetSocketReceiveTimeout(socket, ms); }

bool CSocketLibrary::SetBlocking(afx::Socket socket) { return afx::SetSocketBlocking(socket); }

bool CSocketLibrary::SetKeepAlive(afx::Socket socket) { return afx::SetSocketKeepAlive(socket); }
