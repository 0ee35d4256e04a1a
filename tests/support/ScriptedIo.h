// Test doubles for the far end of a serial line, driven by the virtual clock.
//
// ScriptedLine is the script: chunks of receiver bytes, each arriving a given
// number of milliseconds after the previous chunk was reached, scripted
// device failures, a per-byte time cost, and a record of every write (with an
// optional hook that answers writes by feeding more bytes).
//
// ScriptedIo is a CioInterface over a line (packets, receiver interfaces);
// ScriptedSerialDevice is an afx::SerialDevice over a line, to run a real
// CSerialInterface (line settings, breaks and time-outs included).
//
// Time passes only through afx::GetClock(): install an afx::VirtualClock with
// afx::ScopedClock in every test that uses these.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "port/SerialComException.h"
#include "port/ioInterface.h"

namespace test {

using Bytes = std::vector<BYTE>;

inline Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<BYTE>(v));
  return out;
}
inline Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class ScriptedLine {
 public:
  // How long a read waits for its first byte before it gives up.
  std::int64_t readTimeoutMs = 2000;
  // Virtual time each delivered byte costs.
  std::int64_t perByteMs = 0;
  // Every Write call, in order, and all written bytes run together.
  std::vector<Bytes> writes;
  Bytes written;
  // Called after each write with the bytes written; may Feed an answer.
  std::function<void(ScriptedLine&, const Bytes&)> onWrite;
  // Scripted write failures still to come (each throws / fails one write).
  int failWrites = 0;
  int reads = 0;

  // Queues `bytes`, arriving `delayMs` after the line reaches them.
  void Feed(const Bytes& bytes, std::int64_t delayMs = 0) {
    if (bytes.empty()) return;
    chunks_.push_back(Chunk{bytes, delayMs, std::nullopt, false, 0});
  }
  void Feed(const std::string& text, std::int64_t delayMs = 0) { Feed(B(text), delayMs); }
  // The read that reaches this point fails with a device error.
  void FeedFailure(std::int64_t delayMs = 0) { chunks_.push_back(Chunk{{}, delayMs, std::nullopt, true, 0}); }
  void Clear() { chunks_.clear(); }

  static std::int64_t NowNs() { return afx::GetClock().NowNs(); }
  static void SleepUntil(std::int64_t ns) { afx::GetClock().SleepUntilNs(ns); }

  // Moves up to `max` bytes that have arrived by now; never waits.
  // -1 when the next thing on the line is a scripted failure that is due.
  long TakeReady(BYTE* out, size_t max) {
    size_t n = 0;
    while (n < max) {
      Chunk* head = Head();
      if (!head || *head->readyAtNs > NowNs()) break;
      if (head->fail) {
        if (n > 0) break;
        chunks_.pop_front();
        return -1;
      }
      out[n++] = head->bytes[head->pos++];
      if (perByteMs > 0) SleepUntil(NowNs() + perByteMs * 1'000'000);
    }
    return static_cast<long>(n);
  }

  // When the next byte (or failure) arrives; nullopt when nothing is scripted.
  std::optional<std::int64_t> NextArrivalNs() {
    Chunk* head = Head();
    if (!head) return std::nullopt;
    return head->readyAtNs;
  }

  // One read of up to `max` bytes with the usual rule: return what has
  // arrived, else wait up to readTimeoutMs for the first byte.
  long Read(BYTE* out, size_t max) {
    ++reads;
    const std::int64_t deadline = NowNs() + readTimeoutMs * 1'000'000;
    const std::optional<std::int64_t> next = NextArrivalNs();
    if (!next || *next > deadline) {
      SleepUntil(deadline);
      return 0;
    }
    SleepUntil(*next);
    return TakeReady(out, max);
  }

  // Records a write; false when a scripted failure consumes it.
  bool Write(const BYTE* data, size_t count) {
    if (failWrites > 0) {
      --failWrites;
      return false;
    }
    Bytes bytes(data, data + count);
    writes.push_back(bytes);
    written.insert(written.end(), bytes.begin(), bytes.end());
    if (onWrite) onWrite(*this, bytes);
    return true;
  }

 private:
  struct Chunk {
    Bytes bytes;
    std::int64_t delayMs;
    std::optional<std::int64_t> readyAtNs;
    bool fail;
    size_t pos;
  };

  Chunk* Head() {
    while (!chunks_.empty() && !chunks_.front().fail && chunks_.front().pos >= chunks_.front().bytes.size())
      chunks_.pop_front();
    if (chunks_.empty()) return nullptr;
    Chunk& head = chunks_.front();
    if (!head.readyAtNs) head.readyAtNs = NowNs() + head.delayMs * 1'000'000;
    return &head;
  }

  std::deque<Chunk> chunks_;
};

class ScriptedIo : public CioInterface {
 public:
  explicit ScriptedIo(UINT port = 1) : port_(port) {}

  ScriptedLine line;

  void WriteByte(BYTE value) override { Write(&value, 1); }
  void Write(const BYTE* buffer, DWORD count) override {
    if (!line.Write(buffer, count)) throw CSerialComException(CSerialComException::kWrite, port_, 31);
  }
  bool ReadByte(BYTE* value) override { return Read(value, 1) == 1; }
  DWORD Read(BYTE* buffer, DWORD count) override {
    const long n = line.Read(buffer, count);
    if (n < 0) throw CSerialComException(CSerialComException::kRead, port_, 31);
    return static_cast<DWORD>(n);
  }
  void FlushOutput() override {}
  void FlushInput() override {}
  void Purge(bool, bool) override {}
  UINT GetPortNumber() const override { return port_; }

 private:
  UINT port_;
};

// What a ScriptedSerialDevice was asked to do, kept beyond the device's life
// (CSerialInterface owns and destroys the device on Close).
struct DeviceRecord {
  ScriptedLine line;
  std::vector<afx::LineSettings> settings;  // every SetLineSettings, in order
  afx::LineSettings current;
  std::vector<bool> breaks;                 // every SetBreak, in order
  std::vector<DWORD> unsupportedSpeeds;
  bool failSettings = false;
  bool closed = false;
  // Called on every SetBreak(true); may Feed the receiver's answer.
  std::function<void(ScriptedLine&)> onBreak;
};

class ScriptedSerialDevice : public afx::SerialDevice {
 public:
  explicit ScriptedSerialDevice(std::shared_ptr<DeviceRecord> record) : r_(std::move(record)) {}

  std::string Path() const override { return "script:"; }
  bool SetLineSettings(const afx::LineSettings& s) override {
    if (r_->failSettings) return Refuse();
    r_->settings.push_back(s);
    r_->current = s;
    return true;
  }
  bool GetLineSettings(afx::LineSettings* s) override {
    if (r_->failSettings) return Refuse();
    *s = r_->current;
    return true;
  }
  bool IsSpeedSupported(DWORD baud) override {
    for (DWORD u : r_->unsupportedSpeeds)
      if (u == baud) return false;
    return true;
  }
  bool Purge(DWORD flags) override {
    if (flags & (afx::PURGE_RXABORT | afx::PURGE_RXCLEAR)) {
      // Only what has already arrived is discarded; the rest is still on its way.
      BYTE sink[256];
      while (r_->line.TakeReady(sink, sizeof sink) > 0) {
      }
    }
    return true;
  }
  bool SetBreak(bool on) override {
    r_->breaks.push_back(on);
    if (on && r_->onBreak) r_->onBreak(r_->line);
    return true;
  }
  bool EscapeFunction(DWORD) override { return true; }
  bool ClearError(DWORD* errors) override {
    if (errors) *errors = 0;
    return true;
  }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    *written = 0;
    if (!r_->line.Write(static_cast<const BYTE*>(data), count)) {
      SetLastError(ERROR_GEN_FAILURE);
      return false;
    }
    *written = count;
    return true;
  }
  void Close() override { r_->closed = true; }

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override {
    *got = 0;
    const long n = r_->line.TakeReady(buffer, max);
    if (n < 0) {
      SetLastError(ERROR_GEN_FAILURE);
      return false;
    }
    *got = static_cast<DWORD>(n);
    return true;
  }
  bool WaitReadable(std::int64_t deadlineNs) override {
    const std::optional<std::int64_t> next = r_->line.NextArrivalNs();
    ScriptedLine::SleepUntil(next && *next < deadlineNs ? *next : deadlineNs);
    return true;
  }

 private:
  bool Refuse() {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  std::shared_ptr<DeviceRecord> r_;
};

}  // namespace test
