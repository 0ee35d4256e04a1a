// A receiver reached over UDP, behind the same interface as a serial port.
// The link has its own small protocol: a connect handshake, an 8-byte header
// whose counter is the sender's running total of bytes sent, reordering of
// datagrams that arrive ahead of a gap, keep-alives and an orderly disconnect.
// Nothing is retransmitted: a gap is given up when the datagrams behind it
// have waited 1/3 s or too many of them are held.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "port/SocketSerialPort.h"

class CUDPSerialPort : public CSocketSerialPort {
 public:
  static constexpr WORD kDefaultPort = 80;
  static constexpr std::size_t kHeaderSize = 8;
  static constexpr std::size_t kMaxData = 1400;
  static constexpr std::size_t kMaxDatagram = 1500;
  static constexpr std::size_t kBufferCount = 8;
  // More early datagrams than this in front of (or around) a new one give up the gap.
  static constexpr int kMaxEarlyPlace = 5;
  static constexpr const char* kConnectFailedText = "udpsock_Connect FAILED";

  enum LinkState { kClosed = 0, kConnecting = 1, kConnected = 2, kDisconnecting = 3 };
  enum Kind : BYTE {
    kData = 0x00,
    kRestart1 = 0x01,
    kRestart2 = 0x02,
    kConnectRequest = 0x10,
    kConnectRefused = 0x11,
    kConnectAccepted = 0x12,
    kDisconnectRequest = 0x20,
    kDisconnectReply = 0x22,
    kBreak = 0x30,
    kBreakReply = 0x31,
    kKeepAlive = 0x40,
    kKeepAliveReply = 0x42,
  };

  CUDPSerialPort(void* receiveContext, PortHandler receiveFunction, void* eventContext = nullptr,
                 PortHandler eventFunction = nullptr);
  ~CUDPSerialPort() override;

  BOOL Open(const char* name) override;
  // Returns IsOpen() afterwards, so FALSE once the socket is gone.
  BOOL Close() override;
  BOOL Write(std::unique_ptr<CByteArray>& data) override;
  BOOL SendBreak(DWORD milliseconds) override;

  // Starts a new link: counters and link id 0, nothing held, state connecting.
  void ResetLink();
  // Receives at most one datagram (waiting up to the socket's receive
  // time-out) and acts on it; with none, releases a held datagram that has
  // waited long enough, or sends a due keep-alive. Runs on the receive thread.
  void ReceiveStep();
  // Acts on one datagram as if the socket had just delivered it.
  void OnDatagram(const BYTE* data, std::size_t length);
  bool SetSocketReceiveTimeout(DWORD ms);

  LinkState GetLinkState() const { return static_cast<LinkState>(m_linkState.load()); }
  DWORD GetCounterSent();
  DWORD GetCounterReceived() const { return m_counterReceived.load(); }
  BYTE GetLinkId();
  DWORD GetKeepAliveInterval();
  std::size_t HeldCount() const;

 private:
  struct Buffer {
    Buffer* next;
    DWORD receivedLength;
    DWORD dataLength;
    const BYTE* data;
    std::int64_t receivedAt;  // performance-counter ticks
    DWORD counter;
    BYTE datagram[kMaxDatagram];
  };

  // Sends one datagram; a data datagram may turn into a keep-alive request.
  bool SendDatagram(BYTE kind, const BYTE* data, std::size_t count);
  // True when the link has been quiet longer than the keep-alive interval,
  // which then grows by 5 s. Under the lock.
  bool KeepAliveDue(std::int64_t now);
  Buffer* TakeFree();
  void PutFree(Buffer* buffer);
  Buffer* TakeFirstHeld();
  // A free buffer; with none, the held datagrams up to the next gap are
  // delivered first. Null only when even that frees nothing.
  Buffer* TakeFreeOrGiveUpGap();
  // Steps 3 and 4 for a datagram now in `buffer`.
  void Accept(Buffer* buffer);
  // Delivers `buffer`, then every held datagram that follows on exactly.
  void DeliverInOrder(Buffer* buffer);
  void DeliverOne(Buffer* buffer);
  void ReceiveThread() override;
  bool SetState(int from, int to);
  std::int64_t Now() const;

  std::atomic<std::int64_t> m_lastActivity{0};
  std::atomic<DWORD> m_counterReceived{0};  // written by the receive side only
  DWORD m_counterSent = 0;           // guarded by the lock
  BYTE m_linkId = 0;                 // guarded by the lock
  DWORD m_keepAliveInterval = 10;    // seconds; guarded by the lock
  std::atomic<int> m_linkState{kClosed};
  std::unique_ptr<Buffer[]> m_pool;  // receive side only, like the two lists
  Buffer* m_free = nullptr;
  Buffer* m_held = nullptr;          // ordered by counter
  std::minstd_rand m_random;
};
