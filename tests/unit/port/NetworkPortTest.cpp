// These tests run the ports' own threads against real peers on this machine
// (a pseudo-terminal pair, loopback sockets); they also run under
// ThreadSanitizer and must stay free of reports there:
//   cmake --preset tsan && cmake --build --preset tsan --target unit_port && build/tsan/bin/unit_port
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "port/SocketLibrary.h"
#include "port/TCPSerialPort.h"
#include "port/UDPSerialPort.h"
#include "support/PortThreads.h"
#include "support/ScriptedUi.h"

namespace {

using Bytes = std::vector<BYTE>;

using testsupport::Array;
using testsupport::Eventually;
using testsupport::Received;

sockaddr_in Loopback(WORD port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

WORD BoundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

TEST(SocketLibraryTest, NameParsing) {
  struct Case {
    const char* name;
    WORD defaultPort;
    bool ok;
    const char* host;
    WORD port;
  } cases[] = {
      {"TCP:receiver", 4044, true, "receiver", 4044},
      {"TCP:10.1.2.3:5017", 4044, true, "10.1.2.3", 5017},
      {"UDP:receiver", 80, true, "receiver", 80},
      {"UDP:receiver:0", 80, false, "", 0},
      {"TCP::5017", 4044, false, "", 0},
      {"TCP:", 4044, false, "", 0},
      {"TCP", 4044, false, "", 0},
      {"TCP:host:", 4044, false, "", 0},
      {"TCP:host:65536", 4044, false, "", 0},
      {"TCP:host:65535", 4044, true, "host", 65535},
      {"TCP:host:12a", 4044, false, "", 0},
      {"TCP:host:1:2", 4044, false, "", 0},
  };
  for (const Case& c : cases) {
    std::string host;
    WORD port = 0;
    EXPECT_EQ(CSocketLibrary::ParseName(c.name, c.defaultPort, &host, &port), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.name;
      EXPECT_EQ(port, c.port) << c.name;
    }
  }
}

// ---------------------------------------------------------------- TCP

class TcpListener {
 public:
  TcpListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = Loopback(0);
    bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    listen(fd_, 4);
    port_ = BoundPort(fd_);
  }
  ~TcpListener() {
    Drop();
    close(fd_);
  }
  WORD Port() const { return port_; }
  bool Accept(int ms = 3000) {
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, ms) != 1) return false;
    Drop();
    conn_ = accept(fd_, nullptr, nullptr);
    return conn_ >= 0;
  }
  void Drop() {
    if (conn_ >= 0) close(conn_);
    conn_ = -1;
  }
  void Send(const std::string& text) { ASSERT_EQ(send(conn_, text.data(), text.size(), 0), ssize_t(text.size())); }
  Bytes Receive(std::size_t count, int ms = 3000) {
    Bytes out;
    BYTE buffer[4096];
    while (out.size() < count) {
      pollfd pfd{conn_, POLLIN, 0};
      if (poll(&pfd, 1, ms) != 1) break;
      const ssize_t n = recv(conn_, buffer, std::min(sizeof buffer, count - out.size()), 0);
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

 private:
  int fd_ = -1;
  int conn_ = -1;
  WORD port_ = 0;
};

class TcpPortTest : public testing::Test {
 protected:
  std::string Name() const { return "TCP:127.0.0.1:" + std::to_string(listener_.Port()); }
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  int socketsBefore_ = CSocketLibrary::OpenSockets();
  TcpListener listener_;
  Received received_;
};

TEST_F(TcpPortTest, WritesReceivesAndSendsTheBreakFrame) {
  {
    CTCPSerialPort port(&received_, &Received::Handler);
    ASSERT_TRUE(port.Open(Name().c_str()));
    ASSERT_TRUE(listener_.Accept());
    EXPECT_FALSE(port.Open(Name().c_str()));
    EXPECT_EQ(port.GetState(), CTCPSerialPort::kConnected);
    EXPECT_EQ(port.Port(), listener_.Port());
    EXPECT_TRUE(port.Configure(PortSettings{}));
    EXPECT_TRUE(port.Purge(afx::PURGE_RXCLEAR));

    auto data = Array("abc");
    EXPECT_TRUE(port.Write(data));
    EXPECT_EQ(data, nullptr);
    auto first = Array("d");
    EXPECT_TRUE(port.WriteFirst(first));
    const std::int64_t before = clock_.NowNs();
    EXPECT_TRUE(port.SendBreak(5000));
    EXPECT_EQ(clock_.NowNs() - before, 300'000'000);  // the duration asked for is ignored
    const Bytes out = listener_.Receive(4 + 14);
    const Bytes expected = {'a', 'b', 'c', 'd', 0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50,
                            0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};
    EXPECT_EQ(out, expected);

    ASSERT_TRUE(port.Start());
    listener_.Send("reply");
    EXPECT_TRUE(Eventually([&] { return received_.Bytes() == "reply"; }));
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.GetState(), CTCPSerialPort::kClosed);
    auto late = Array("late");
    EXPECT_FALSE(port.Write(late));
    EXPECT_EQ(late, nullptr);  // deleted even when not sent
  }
  EXPECT_EQ(CSocketLibrary::OpenSockets(), socketsBefore_);
}

TEST_F(TcpPortTest, ReconnectsAfterThePeerDropsTheConnection) {
  CTCPSerialPort port(&received_, &Received::Handler);
  ASSERT_TRUE(port.Open(Name().c_str()));
  ASSERT_TRUE(listener_.Accept());
  ASSERT_TRUE(port.Start());
  listener_.Send("one");
  ASSERT_TRUE(Eventually([&] { return received_.Bytes() == "one"; }));
  listener_.Drop();
  ASSERT_TRUE(listener_.Accept());  // the receive thread came back
  ASSERT_TRUE(Eventually([&] { return port.GetState() == CTCPSerialPort::kConnected; }));
  listener_.Send("two");
  EXPECT_TRUE(Eventually([&] { return received_.Bytes() == "onetwo"; }));
  auto data = Array("x");
  EXPECT_TRUE(port.Write(data));
  EXPECT_EQ(listener_.Receive(1), Bytes{'x'});
  port.Close();
  EXPECT_EQ(CSocketLibrary::OpenSockets(), socketsBefore_);
}

// ---------------------------------------------------------------- UDP

struct Datagram {
  BYTE headerLength, link, kind;
  DWORD counter;
  Bytes data;
  std::size_t size;
};

// The far end of the link. Its thread answers each datagram through `react`;
// the test may send from its own thread too.
class UdpPeer {
 public:
  using React = std::function<void(UdpPeer&, const Datagram&, int index)>;
  explicit UdpPeer(React react) : react_(std::move(react)) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Loopback(0);
    bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    port_ = BoundPort(fd_);
    timeval tv{0, 10'000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    thread_ = std::thread([this] { Run(); });
  }
  ~UdpPeer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::string Name() const { return "UDP:127.0.0.1:" + std::to_string(port_); }

  // Sends with the peer's own running counter.
  void Send(BYTE kind, BYTE link, const std::string& data = "") {
    std::lock_guard<std::mutex> lock(mutex_);
    counter_ += DWORD(8 + data.size());
    SendLocked(Frame(8, link, kind, counter_, data));
  }
  static Bytes Frame(BYTE headerLength, BYTE link, BYTE kind, DWORD counter, const std::string& data) {
    Bytes d = {headerLength, link, kind, 0, BYTE(counter >> 24), BYTE(counter >> 16), BYTE(counter >> 8), BYTE(counter)};
    d.insert(d.end(), data.begin(), data.end());
    return d;
  }
  void SendRaw(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    SendLocked(bytes);
  }
  std::vector<Datagram> Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  std::size_t SeenCount() { return Seen().size(); }

 private:
  void SendLocked(const Bytes& bytes) {
    if (!haveFrom_) return;
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&from_), sizeof from_);
  }
  void Run() {
    BYTE buffer[2048];
    int index = 0;
    while (!stop_) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 8) continue;
      Datagram d{buffer[0], buffer[1], buffer[2],
                 DWORD(buffer[4]) << 24 | DWORD(buffer[5]) << 16 | DWORD(buffer[6]) << 8 | buffer[7],
                 Bytes(buffer + 8, buffer + n), std::size_t(n)};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        from_ = from;
        haveFrom_ = true;
        seen_.push_back(d);
      }
      if (react_) react_(*this, d, index++);
    }
  }

  React react_;
  int fd_ = -1;
  WORD port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  sockaddr_in from_{};
  bool haveFrom_ = false;
  DWORD counter_ = 0;
  std::vector<Datagram> seen_;
};

constexpr BYTE kLink = 7;

// Accepts the first connect request and answers disconnects, like a receiver.
void Receiver(UdpPeer& peer, const Datagram& d, int) {
  if (d.kind == CUDPSerialPort::kConnectRequest) peer.Send(CUDPSerialPort::kConnectAccepted, kLink);
  if (d.kind == CUDPSerialPort::kDisconnectRequest) peer.Send(CUDPSerialPort::kDisconnectReply, kLink);
}

class UdpPortTest : public testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  int socketsBefore_ = CSocketLibrary::OpenSockets();
  Received received_;
};

TEST_F(UdpPortTest, HandshakeAndTheRunningCounter) {
  UdpPeer peer(Receiver);
  CUDPSerialPort port(&received_, &Received::Handler);
  ASSERT_TRUE(port.Open(peer.Name().c_str()));
  EXPECT_EQ(clock_.NowNs(), 2'000'000'000) << "the connect request is given two seconds";
  EXPECT_EQ(port.GetLinkState(), CUDPSerialPort::kConnected);
  EXPECT_EQ(port.GetLinkId(), kLink);
  EXPECT_EQ(port.GetCounterSent(), 8u);

  auto ten = Array("0123456789");
  EXPECT_TRUE(port.Write(ten));
  EXPECT_EQ(ten, nullptr);
  // Too long: not sent, not counted, and still taken.
  auto tooLong = std::make_unique<CByteArray>(1401, BYTE{1});
  EXPECT_FALSE(port.Write(tooLong));
  EXPECT_EQ(tooLong, nullptr);
  auto longest = std::make_unique<CByteArray>(1400, BYTE{2});
  EXPECT_TRUE(port.WriteFirst(longest));
  EXPECT_TRUE(port.SendBreak(100));
  ASSERT_TRUE(Eventually([&] { return peer.SeenCount() >= 4; }));

  const auto seen = peer.Seen();
  ASSERT_EQ(seen.size(), 4u);
  // kind, link, counter and size of each datagram
  const auto fields = [&](int i) { return std::make_tuple(seen[i].kind, seen[i].link, seen[i].counter, seen[i].size); };
  const auto want = [](BYTE kind, BYTE link, DWORD counter, std::size_t size) {
    return std::make_tuple(kind, link, counter, size);
  };
  EXPECT_EQ(fields(0), want(CUDPSerialPort::kConnectRequest, 0, 8, 8));
  EXPECT_EQ(fields(1), want(CUDPSerialPort::kData, kLink, 26, 18));
  EXPECT_EQ(fields(2), want(CUDPSerialPort::kData, kLink, 26 + 1408, 1408));
  EXPECT_EQ(fields(3), want(CUDPSerialPort::kBreak, kLink, 26 + 1408 + 8, 8));
  EXPECT_EQ(seen[1].headerLength, 8);
  EXPECT_EQ(std::string(seen[1].data.begin(), seen[1].data.end()), "0123456789");
}

// Data datagram n (1-based) carries the letter 'a' + n - 1, so that its
// counter is 8 (the accept) + 10 n.
Bytes DataFrame(int n, BYTE link = kLink) {
  return UdpPeer::Frame(8, link, CUDPSerialPort::kData, DWORD(8 + 10 * n), std::string(1, char('a' + n - 1)) + "!");
}

TEST_F(UdpPortTest, EarlyDatagramsAreHeldAndReleasedInOrder) {
  constexpr int kWait = 0;  // an idle step after 400 ms
  struct Case {
    const char* what;
    std::vector<int> steps;  // datagram numbers, or kWait
    std::vector<std::string> after;  // everything delivered after each step
  } cases[] = {
      {"in order", {1, 2, 3}, {"a!", "a!b!", "a!b!c!"}},
      {"two ahead, then the gap fills", {3, 1, 2}, {"", "a!", "a!b!c!"}},
      {"reversed", {3, 2, 1}, {"", "", "a!b!c!"}},
      {"duplicate", {1, 1, 2}, {"a!", "a!", "a!b!"}},
      {"duplicate while held", {2, 2, 1, 3}, {"", "", "a!b!", "a!b!c!"}},
      {"gap given up after 1/3 s", {2, kWait, 3, 1}, {"", "b!", "b!c!", "b!c!"}},
      {"more than five early", {2, 3, 4, 5, 6, 7, 8, 1}, {"", "", "", "", "", "", "b!c!d!e!f!g!h!", "b!c!d!e!f!g!h!"}},
  };
  for (const Case& c : cases) {
    UdpPeer peer(Receiver);
    Received received;
    CUDPSerialPort port(&received, &Received::Handler);
    ASSERT_TRUE(port.Open(peer.Name().c_str())) << c.what;
    ASSERT_TRUE(port.SetSocketReceiveTimeout(10));
    ASSERT_EQ(c.steps.size(), c.after.size()) << c.what;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      if (c.steps[i] == kWait) {
        clock_.AdvanceMs(400);
      } else {
        peer.SendRaw(DataFrame(c.steps[i]));
      }
      port.ReceiveStep();
      EXPECT_EQ(received.Bytes(), c.after[i]) << c.what << ", step " << i;
    }
    EXPECT_EQ(port.HeldCount(), 0u) << c.what;
  }
}

TEST_F(UdpPortTest, MalformedDatagramsAreDropped) {
  UdpPeer peer(Receiver);
  CUDPSerialPort port(&received_, &Received::Handler);
  ASSERT_TRUE(port.Open(peer.Name().c_str()));
  ASSERT_TRUE(port.SetSocketReceiveTimeout(10));
  const Bytes bad[] = {
      {},                                   // empty
      {8, kLink, 0, 0, 0, 0},               // shorter than a header
      UdpPeer::Frame(7, kLink, 0, 18, "x"),  // header length below 8
      UdpPeer::Frame(200, kLink, 0, 18, "x"),  // header longer than the datagram
      DataFrame(1, 9),                      // another link
      UdpPeer::Frame(8, kLink, 0, 5, "x"),  // counter behind
  };
  for (const Bytes& b : bad) {
    port.OnDatagram(b.data(), b.size());
    EXPECT_EQ(received_.Bytes(), "");
    EXPECT_EQ(port.GetCounterReceived(), 8u);
  }
  // A longer header is skipped, not delivered.
  Bytes longHeader = UdpPeer::Frame(10, kLink, 0, 8 + 12, "HHok");
  port.OnDatagram(longHeader.data(), longHeader.size());
  EXPECT_EQ(received_.Bytes(), "ok");
  EXPECT_EQ(port.GetLinkState(), CUDPSerialPort::kConnected);
}

TEST_F(UdpPortTest, ControlKindsFromThePeer) {
  constexpr BYTE kNone = 0xFF;
  struct Case {
    BYTE kind;
    BYTE link;
    BYTE reply;
    CUDPSerialPort::LinkState state;
    BYTE linkAfter;
  } cases[] = {
      {CUDPSerialPort::kBreak, kLink, CUDPSerialPort::kBreakReply, CUDPSerialPort::kConnected, kLink},
      {CUDPSerialPort::kKeepAlive, kLink, CUDPSerialPort::kKeepAliveReply, CUDPSerialPort::kConnected, kLink},
      {CUDPSerialPort::kDisconnectRequest, kLink, CUDPSerialPort::kDisconnectReply, CUDPSerialPort::kClosed, kLink},
      {CUDPSerialPort::kRestart1, kLink, CUDPSerialPort::kConnectRequest, CUDPSerialPort::kConnecting, 0},
      {CUDPSerialPort::kRestart2, kLink, CUDPSerialPort::kConnectRequest, CUDPSerialPort::kConnecting, 0},
      {CUDPSerialPort::kConnectRefused, kLink, kNone, CUDPSerialPort::kConnected, kLink},
      {CUDPSerialPort::kDisconnectReply, kLink, kNone, CUDPSerialPort::kConnected, kLink},
  };
  for (const Case& c : cases) {
    UdpPeer peer(Receiver);
    CUDPSerialPort port(&received_, &Received::Handler);
    ASSERT_TRUE(port.Open(peer.Name().c_str()));
    ASSERT_TRUE(port.SetSocketReceiveTimeout(10));
    peer.Send(c.kind, c.link, "");
    port.ReceiveStep();
    EXPECT_EQ(port.GetLinkState(), c.state) << int(c.kind);
    EXPECT_EQ(port.GetLinkId(), c.linkAfter) << int(c.kind);
    if (c.reply == kNone) {
      EXPECT_FALSE(Eventually([&] { return peer.SeenCount() > 1; }, 50)) << int(c.kind);
    } else {
      ASSERT_TRUE(Eventually([&] { return peer.SeenCount() > 1; })) << int(c.kind);
      EXPECT_EQ(peer.Seen()[1].kind, c.reply) << int(c.kind);
    }
  }
}

TEST_F(UdpPortTest, KeepAlivesComeWithGrowingIntervals) {
  UdpPeer peer(Receiver);
  CUDPSerialPort port(&received_, &Received::Handler);
  ASSERT_TRUE(port.Open(peer.Name().c_str()));
  ASSERT_TRUE(port.SetSocketReceiveTimeout(10));
  const DWORD interval = port.GetKeepAliveInterval();
  EXPECT_GE(interval, 10u);
  EXPECT_LE(interval, 19u);

  port.ReceiveStep();  // quiet, but not for long: nothing sent
  EXPECT_EQ(port.GetCounterSent(), 8u);
  clock_.AdvanceMs((interval + 1) * 1000);
  port.ReceiveStep();
  EXPECT_EQ(port.GetKeepAliveInterval(), interval + 5);
  clock_.AdvanceMs(5000);
  // Data after a long silence asks for a sign of life as well.
  auto data = Array("hi");
  EXPECT_TRUE(port.Write(data));
  EXPECT_EQ(port.GetKeepAliveInterval(), interval + 10);
  ASSERT_TRUE(Eventually([&] { return peer.SeenCount() >= 3; }));
  const auto seen = peer.Seen();
  EXPECT_EQ(seen[1].kind, CUDPSerialPort::kKeepAlive);
  EXPECT_EQ(seen[1].size, 8u);
  EXPECT_EQ(seen[2].kind, CUDPSerialPort::kKeepAlive);
  EXPECT_EQ(std::string(seen[2].data.begin(), seen[2].data.end()), "hi");
  EXPECT_EQ(seen[2].counter, 8u + 8u + 10u);

  // Any delivery picks a fresh interval.
  peer.Send(CUDPSerialPort::kKeepAliveReply, kLink);
  port.ReceiveStep();
  EXPECT_GE(port.GetKeepAliveInterval(), 10u);
  EXPECT_LE(port.GetKeepAliveInterval(), 19u);
}

TEST_F(UdpPortTest, ReceiveThreadDeliversAndCloseIsOrderly) {
  UdpPeer peer(Receiver);
  {
    CUDPSerialPort port(&received_, &Received::Handler);
    ASSERT_TRUE(port.Open(peer.Name().c_str()));
    ASSERT_TRUE(port.Start());
    peer.Send(CUDPSerialPort::kData, kLink, "first");
    peer.Send(CUDPSerialPort::kData, kLink, "second");
    ASSERT_TRUE(Eventually([&] { return received_.Bytes() == "firstsecond"; }));
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.GetLinkState(), CUDPSerialPort::kClosed);
    EXPECT_FALSE(port.IsOpen());
  }
  bool asked = false;
  for (const Datagram& d : peer.Seen()) asked = asked || d.kind == CUDPSerialPort::kDisconnectRequest;
  EXPECT_TRUE(asked);
  EXPECT_EQ(CSocketLibrary::OpenSockets(), socketsBefore_);
}

}  // namespace
