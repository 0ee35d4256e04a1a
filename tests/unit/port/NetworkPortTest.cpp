// These tests run the ports' own threads against real peers on loopback
// sockets; they also run under ThreadSanitizer and must stay free of reports:
//   cmake --preset tsan && cmake --build --preset tsan --target unit_port && build/tsan/bin/unit_port
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

namespace {

using Bytes = std::vector<BYTE>;
using testsupport::Array;
using testsupport::Eventually;
using testsupport::Received;

// A socket bound to an ephemeral loopback port, whose receives and accepts
// give up after `timeout`; `name` becomes "KIND:127.0.0.1:port".
int BoundSocket(int type, const char* kind, std::string* name, timeval timeout = {3, 0}) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *name = std::string(kind) + ":127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  return fd;
}

TEST(SocketLibraryTest, NameParsing) {
  const struct {
    const char* name;
    WORD defaultPort;
    const char* host;  // null when refused
    WORD port;
  } cases[] = {
      {"TCP:receiver", 4044, "receiver", 4044}, {"TCP:10.1.2.3:5017", 4044, "10.1.2.3", 5017},
      {"UDP:receiver", 80, "receiver", 80},     {"TCP:host:65535", 4044, "host", 65535},
      {"UDP:receiver:0", 80, nullptr, 0},       {"TCP::5017", 4044, nullptr, 0},
      {"TCP:", 4044, nullptr, 0},               {"TCP", 4044, nullptr, 0},
      {"TCP:host:", 4044, nullptr, 0},          {"TCP:host:65536", 4044, nullptr, 0},
      {"TCP:host:12a", 4044, nullptr, 0},       {"TCP:host:1:2", 4044, nullptr, 0},
  };
  for (const auto& c : cases) {
    std::string host;
    WORD port = 0;
    ASSERT_EQ(CSocketLibrary::ParseName(c.name, c.defaultPort, &host, &port), c.host != nullptr) << c.name;
    if (c.host) {
      EXPECT_EQ(std::tie(host, port), std::make_tuple(std::string(c.host), c.port)) << c.name;
    }
  }
}

class TcpPortTest : public testing::Test {
 protected:
  TcpPortTest() : fd_(BoundSocket(SOCK_STREAM, "TCP", &name_)) { listen(fd_, 4); }
  ~TcpPortTest() override {
    Drop();
    close(fd_);
  }
  bool Accept() {
    Drop();
    conn_ = accept(fd_, nullptr, nullptr);
    const timeval timeout{3, 0};
    setsockopt(conn_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return conn_ >= 0;
  }
  void Drop() {
    if (conn_ >= 0) close(conn_);
    conn_ = -1;
  }
  void Send(const std::string& text) { ASSERT_EQ(send(conn_, text.data(), text.size(), 0), ssize_t(text.size())); }
  Bytes Receive(std::size_t count) {
    Bytes out(count);
    out.resize(std::size_t(std::max<ssize_t>(0, recv(conn_, out.data(), count, MSG_WAITALL))));
    return out;
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  int socketsBefore_ = CSocketLibrary::OpenSockets();
  std::string name_;
  int fd_;
  int conn_ = -1;
  Received received_;
};

TEST_F(TcpPortTest, WritesTheBreakFrameReceivesReconnectsAndCloses) {
  {
    CTCPSerialPort port(&received_, &Received::Handler);
    ASSERT_TRUE(port.Open(name_.c_str()));
    ASSERT_TRUE(Accept());
    EXPECT_FALSE(port.Open(name_.c_str()));
    EXPECT_EQ(port.GetState(), CTCPSerialPort::kConnected);
    EXPECT_EQ("TCP:127.0.0.1:" + std::to_string(port.Port()), name_);
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
    const Bytes expected = {'a', 'b', 'c', 'd', 0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50,
                            0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};
    EXPECT_EQ(Receive(expected.size()), expected);

    ASSERT_TRUE(port.Start());
    Send("one");
    ASSERT_TRUE(Eventually([&] { return received_.Bytes() == "one"; }));
    Drop();
    ASSERT_TRUE(Accept());  // the receive thread came back
    ASSERT_TRUE(Eventually([&] { return port.GetState() == CTCPSerialPort::kConnected; }));
    Send("two");
    EXPECT_TRUE(Eventually([&] { return received_.Bytes() == "onetwo"; }));
    auto x = Array("x");
    EXPECT_TRUE(port.Write(x));
    EXPECT_EQ(Receive(1), Bytes{'x'});

    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.GetState(), CTCPSerialPort::kClosed);
    auto late = Array("late");
    EXPECT_FALSE(port.Write(late));
    EXPECT_EQ(late, nullptr);  // deleted even when not sent
  }
  EXPECT_EQ(CSocketLibrary::OpenSockets(), socketsBefore_);
}

struct Datagram {
  BYTE headerLength, link, kind;
  DWORD counter;
  std::string data;
  std::size_t size;
};

constexpr BYTE kLink = 7;

Bytes Frame(BYTE headerLength, BYTE link, BYTE kind, DWORD counter, const std::string& data) {
  Bytes d = {headerLength, link, kind, 0, BYTE(counter >> 24), BYTE(counter >> 16), BYTE(counter >> 8), BYTE(counter)};
  for (const char ch : data) d.push_back(BYTE(ch));
  return d;
}

// Data datagram n (1-based) carries "x!" with x = 'a' + n - 1, so that its
// counter is 8 (the accept) + 10 n.
Bytes DataFrame(int n, BYTE link = kLink) {
  return Frame(8, link, CUDPSerialPort::kData, DWORD(8 + 10 * n), std::string(1, char('a' + n - 1)) + "!");
}

// The far end of the link, answering like a receiver: it accepts a connect
// request and answers a disconnect request. It records every datagram.
class UdpPeer {
 public:
  UdpPeer() : fd_(BoundSocket(SOCK_DGRAM, "UDP", &name_, {0, 10'000})) { thread_ = std::thread([this] { Run(); }); }
  ~UdpPeer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  const char* Name() const { return name_.c_str(); }
  // Sends with the peer's own running counter.
  void Send(BYTE kind, const std::string& data = "") {
    std::lock_guard<std::mutex> lock(mutex_);
    counter_ += DWORD(8 + data.size());
    SendLocked(Frame(8, kLink, kind, counter_, data));
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
    if (haveFrom_) sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&from_), sizeof from_);
  }
  void Run() {
    BYTE b[2048];
    while (!stop_) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n = recvfrom(fd_, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 8) continue;
      const Datagram d{b[0], b[1], b[2], DWORD(b[4]) << 24 | DWORD(b[5]) << 16 | DWORD(b[6]) << 8 | b[7],
                       std::string(b + 8, b + n), std::size_t(n)};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        from_ = from;
        haveFrom_ = true;
        seen_.push_back(d);
      }
      if (d.kind == CUDPSerialPort::kConnectRequest) Send(CUDPSerialPort::kConnectAccepted);
      if (d.kind == CUDPSerialPort::kDisconnectRequest) Send(CUDPSerialPort::kDisconnectReply);
    }
  }

  std::string name_;
  int fd_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  sockaddr_in from_{};
  bool haveFrom_ = false;
  DWORD counter_ = 0;
  std::vector<Datagram> seen_;
};

class UdpPortTest : public testing::Test {
 protected:
  // Opens `port_` to `peer_`, receiving step by step with a short socket time-out.
  void OpenStepped() {
    ASSERT_TRUE(port_->Open(peer_->Name()));
    ASSERT_TRUE(port_->SetSocketReceiveTimeout(10));
  }
  void Reset() {
    port_.reset();
    peer_ = std::make_unique<UdpPeer>();
    received_ = std::make_unique<Received>();
    port_ = std::make_unique<CUDPSerialPort>(received_.get(), &Received::Handler);
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  int socketsBefore_ = CSocketLibrary::OpenSockets();
  std::unique_ptr<UdpPeer> peer_ = std::make_unique<UdpPeer>();
  std::unique_ptr<Received> received_ = std::make_unique<Received>();
  std::unique_ptr<CUDPSerialPort> port_ = std::make_unique<CUDPSerialPort>(received_.get(), &Received::Handler);
};

TEST_F(UdpPortTest, HandshakeRunningCounterReceiveThreadAndOrderlyClose) {
  ASSERT_TRUE(port_->Open(peer_->Name()));
  EXPECT_EQ(clock_.NowNs(), 2'000'000'000) << "the connect request is given two seconds";
  EXPECT_EQ(port_->GetLinkState(), CUDPSerialPort::kConnected);
  EXPECT_EQ(port_->GetLinkId(), kLink);
  EXPECT_EQ(port_->GetCounterSent(), 8u);

  auto ten = Array("0123456789");
  EXPECT_TRUE(port_->Write(ten));
  EXPECT_EQ(ten, nullptr);
  auto tooLong = std::make_unique<CByteArray>(1401, BYTE{1});
  EXPECT_FALSE(port_->Write(tooLong)) << "not sent, not counted";
  EXPECT_EQ(tooLong, nullptr);
  auto longest = std::make_unique<CByteArray>(1400, BYTE{2});
  EXPECT_TRUE(port_->WriteFirst(longest));
  EXPECT_TRUE(port_->SendBreak(100));
  ASSERT_TRUE(Eventually([&] { return peer_->SeenCount() >= 4; }));

  const auto seen = peer_->Seen();
  ASSERT_EQ(seen.size(), 4u);
  using Fields = std::tuple<BYTE, BYTE, BYTE, DWORD, std::size_t>;  // header, kind, link, counter, size
  const Fields want[] = {{8, CUDPSerialPort::kConnectRequest, 0, 8, 8},
                         {8, CUDPSerialPort::kData, kLink, 26, 18},
                         {8, CUDPSerialPort::kData, kLink, 26 + 1408, 1408},
                         {8, CUDPSerialPort::kBreak, kLink, 26 + 1408 + 8, 8}};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Fields(seen[i].headerLength, seen[i].kind, seen[i].link, seen[i].counter, seen[i].size), want[i]) << i;
  EXPECT_EQ(seen[1].data, "0123456789");

  ASSERT_TRUE(port_->Start());
  peer_->Send(CUDPSerialPort::kData, "first");
  peer_->Send(CUDPSerialPort::kData, "second");
  ASSERT_TRUE(Eventually([&] { return received_->Bytes() == "firstsecond"; }));
  EXPECT_FALSE(port_->Close());
  EXPECT_EQ(port_->GetLinkState(), CUDPSerialPort::kClosed);
  EXPECT_FALSE(port_->IsOpen());
  port_.reset();
  const auto all = peer_->Seen();
  EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                          [](const Datagram& d) { return d.kind == CUDPSerialPort::kDisconnectRequest; }));
  EXPECT_EQ(CSocketLibrary::OpenSockets(), socketsBefore_);
}

TEST_F(UdpPortTest, EarlyDatagramsAreHeldAndReleasedInOrder) {
  constexpr int kWait = 0;  // an idle step after 400 ms
  const struct {
    const char* what;
    std::vector<int> steps;          // datagram numbers, or kWait
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
  for (const auto& c : cases) {
    Reset();
    OpenStepped();
    ASSERT_EQ(c.steps.size(), c.after.size()) << c.what;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      if (c.steps[i] == kWait)
        clock_.AdvanceMs(400);
      else
        peer_->SendRaw(DataFrame(c.steps[i]));
      port_->ReceiveStep();
      EXPECT_EQ(received_->Bytes(), c.after[i]) << c.what << ", step " << i;
    }
    EXPECT_EQ(port_->HeldCount(), 0u) << c.what;
  }
}

TEST_F(UdpPortTest, MalformedDatagramsAreDropped) {
  OpenStepped();
  const Bytes bad[] = {
      {},                                   // empty
      {8, kLink, 0, 0, 0, 0},               // shorter than a header
      Frame(7, kLink, 0, 18, "x"),          // header length below 8
      Frame(200, kLink, 0, 18, "x"),        // header longer than the datagram
      DataFrame(1, 9),                      // another link
      Frame(8, kLink, 0, 5, "x"),           // counter behind
  };
  for (const Bytes& b : bad) {
    port_->OnDatagram(b.data(), b.size());
    EXPECT_EQ(received_->Bytes(), "");
    EXPECT_EQ(port_->GetCounterReceived(), 8u);
  }
  const Bytes longHeader = Frame(10, kLink, 0, 8 + 12, "HHok");  // skipped, not delivered
  port_->OnDatagram(longHeader.data(), longHeader.size());
  EXPECT_EQ(received_->Bytes(), "ok");
  EXPECT_EQ(port_->GetLinkState(), CUDPSerialPort::kConnected);
}

TEST_F(UdpPortTest, ControlKindsFromThePeer) {
  constexpr BYTE kNone = 0xFF;
  using U = CUDPSerialPort;
  const struct {
    BYTE kind, reply;
    U::LinkState state;
    BYTE linkAfter;
  } cases[] = {
      {U::kBreak, U::kBreakReply, U::kConnected, kLink},
      {U::kKeepAlive, U::kKeepAliveReply, U::kConnected, kLink},
      {U::kDisconnectRequest, U::kDisconnectReply, U::kClosed, kLink},
      {U::kRestart1, U::kConnectRequest, U::kConnecting, 0},
      {U::kRestart2, U::kConnectRequest, U::kConnecting, 0},
      {U::kConnectRefused, kNone, U::kConnected, kLink},
      {U::kDisconnectReply, kNone, U::kConnected, kLink},
  };
  for (const auto& c : cases) {
    Reset();
    OpenStepped();
    peer_->Send(c.kind);
    port_->ReceiveStep();
    EXPECT_EQ(std::make_tuple(port_->GetLinkState(), port_->GetLinkId()), std::make_tuple(c.state, c.linkAfter))
        << int(c.kind);
    const bool answered = Eventually([&] { return peer_->SeenCount() > 1; }, c.reply == kNone ? 50 : 3000);
    ASSERT_EQ(answered, c.reply != kNone) << int(c.kind);
    if (answered) {
      EXPECT_EQ(peer_->Seen()[1].kind, c.reply) << int(c.kind);
    }
  }
}

TEST_F(UdpPortTest, KeepAlivesComeWithGrowingIntervals) {
  OpenStepped();
  const DWORD interval = port_->GetKeepAliveInterval();
  EXPECT_GE(interval, 10u);
  EXPECT_LE(interval, 19u);

  port_->ReceiveStep();  // quiet, but not for long: nothing sent
  EXPECT_EQ(port_->GetCounterSent(), 8u);
  clock_.AdvanceMs((interval + 1) * 1000);
  port_->ReceiveStep();
  EXPECT_EQ(port_->GetKeepAliveInterval(), interval + 5);
  clock_.AdvanceMs(5000);
  // Data after a long silence asks for a sign of life as well.
  auto data = Array("hi");
  EXPECT_TRUE(port_->Write(data));
  EXPECT_EQ(port_->GetKeepAliveInterval(), interval + 10);
  ASSERT_TRUE(Eventually([&] { return peer_->SeenCount() >= 3; }));
  const auto seen = peer_->Seen();
  EXPECT_EQ(std::make_tuple(seen[1].kind, seen[1].size), std::make_tuple(BYTE(CUDPSerialPort::kKeepAlive), 8u));
  EXPECT_EQ(std::make_tuple(seen[2].kind, seen[2].data, seen[2].counter),
            std::make_tuple(BYTE(CUDPSerialPort::kKeepAlive), std::string("hi"), 8u + 8u + 10u));

  // Any delivery picks a fresh interval.
  peer_->Send(CUDPSerialPort::kKeepAliveReply);
  port_->ReceiveStep();
  EXPECT_GE(port_->GetKeepAliveInterval(), 10u);
  EXPECT_LE(port_->GetKeepAliveInterval(), 19u);
}

}  // namespace
