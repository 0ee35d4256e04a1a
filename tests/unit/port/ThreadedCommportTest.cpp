// These tests run the ports' own threads against real peers on this machine
// (a pseudo-terminal pair, loopback sockets); they also run under
// ThreadSanitizer and must stay free of reports there:
//   cmake --preset tsan && cmake --build --preset tsan --target unit_port && build/tsan/bin/unit_port
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "port/LogHub.h"
#include "port/LogNode.h"
#include "port/LogSubscriber.h"
#include "port/ThreadedCommport.h"
#include "support/PortThreads.h"
#include "support/PtyPair.h"

namespace {

using testsupport::Array;
using testsupport::Eventually;
using testsupport::Received;

// Records the device calls the port makes, passing each on to the real device.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> calls;
  afx::LineSettings lastLine;
  void Add(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
};

class RecordingDevice : public afx::SerialDevice {
 public:
  RecordingDevice(std::unique_ptr<afx::SerialDevice> inner, Journal* journal)
      : inner_(std::move(inner)), journal_(journal) {}
  std::string Path() const override { return inner_->Path(); }
  bool SetLineSettings(const afx::LineSettings& s) override {
    {
      std::lock_guard<std::mutex> lock(journal_->mutex);
      journal_->lastLine = s;
    }
    journal_->Add(s.dtrControl ? "line dtr on" : "line dtr off");
    return inner_->SetLineSettings(s);
  }
  bool GetLineSettings(afx::LineSettings* s) override { return inner_->GetLineSettings(s); }
  bool IsSpeedSupported(DWORD baud) override { return inner_->IsSpeedSupported(baud); }
  bool Purge(DWORD flags) override {
    journal_->Add("purge " + std::to_string(flags));
    return inner_->Purge(flags);
  }
  bool SetBreak(bool on) override {
    journal_->Add(on ? "break on" : "break off");
    return inner_->SetBreak(on);
  }
  bool EscapeFunction(DWORD function) override { return inner_->EscapeFunction(function); }
  bool ClearError(DWORD* errors) override { return inner_->ClearError(errors); }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    afx::COMMTIMEOUTS t;
    GetTimeouts(&t);
    inner_->SetTimeouts(t);
    return inner_->Write(data, count, written);
  }
  void Close() override { inner_->Close(); }
  int PollFd() const override { return inner_->PollFd(); }

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override {
    inner_->SetTimeouts({afx::MAXDWORD, 0, 0, 0, 0});
    return inner_->Read(buffer, max, got);
  }
  bool WaitReadable(std::int64_t) override { return true; }

 private:
  std::unique_ptr<afx::SerialDevice> inner_;
  Journal* journal_;
};

class ThreadedCommportTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty_.Slave().empty());
    afx::SetSerialDeviceWrapper([this](std::unique_ptr<afx::SerialDevice> device) {
      return std::make_unique<RecordingDevice>(std::move(device), &journal_);
    });
  }
  void TearDown() override {
    port_.Close();
    afx::SetSerialDeviceWrapper(nullptr);
  }
  void OpenConfigured(DWORD baud = 115200, DWORD readTimeout = 12000) {
    ASSERT_TRUE(port_.Open(pty_.Slave().c_str()));
    PortSettings settings;
    settings.baudRate = baud;
    settings.readTimeout = readTimeout;
    ASSERT_TRUE(port_.Configure(settings));
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  testsupport::PtyPair pty_;
  Journal journal_;
  Received received_;
  tThreadedCommport port_{&received_, &Received::Handler};
};

TEST_F(ThreadedCommportTest, ConfigureSetsTimeoutsWaitAndLine) {
  struct Case {
    PortSettings settings;
    BOOL result;
    afx::COMMTIMEOUTS timeouts;
    DWORD wait;
    bool cts;
    BYTE rts;
  } cases[] = {
      {{9600, 0, 8, 0, 0, 0, 12000}, TRUE, {afx::MAXDWORD, afx::MAXDWORD, 12000, 2, 2000}, 12000, false, 0},
      {{115200, 2, 7, 2, 2, 0, 500}, TRUE, {afx::MAXDWORD, afx::MAXDWORD, 500, 0, 2000}, 500, false, 2},
      {{38400, 1, 8, 0, 1, 0, 0xDEAD0064}, TRUE, {20, 0, 100, 0, 30000}, 100, true, 2},
      {{19200, 0, 8, 0, 0, 0, 0xBEEF0064}, TRUE, {afx::MAXDWORD, afx::MAXDWORD, 0xBEEF0064, 1, 2000}, 0xBEEF0064,
       false, 0},
  };
  ASSERT_TRUE(port_.Open(pty_.Slave().c_str()));
  for (const Case& c : cases) {
    EXPECT_EQ(port_.Configure(c.settings), c.result) << c.settings.baudRate;
    const auto fields = [](const afx::COMMTIMEOUTS& t) {
      return std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                             t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
    };
    const afx::COMMTIMEOUTS t = port_.GetTimeouts();
    EXPECT_EQ(fields(t), fields(c.timeouts)) << c.settings.baudRate;
    EXPECT_EQ(port_.GetWaitTimeout(), c.wait) << c.settings.baudRate;
    const afx::LineSettings l = journal_.lastLine;
    const PortSettings& s = c.settings;
    EXPECT_EQ(std::make_tuple(l.baudRate, l.parity, l.byteSize, l.stopBits, l.outxCtsFlow, l.rtsControl, l.dtrControl),
              std::make_tuple(s.baudRate, s.parity, s.dataBits, s.stopBits, c.cts, c.rts, BYTE{1}))
        << s.baudRate;
    EXPECT_FALSE(l.outX || l.inX || l.outxDsrFlow);
  }
  // A zero rate is refused and changes nothing.
  PortSettings zero;
  zero.baudRate = 0;
  EXPECT_FALSE(port_.Configure(zero));
  EXPECT_EQ(port_.Settings().baudRate, 19200u);
}

TEST_F(ThreadedCommportTest, WriteFirstGoesOutNext) {
  OpenConfigured();
  for (const char* text : {"A", "B", "C"}) {
    auto data = Array(text);
    ASSERT_TRUE(port_.Write(data));
  }
  auto first = Array("D");
  ASSERT_TRUE(port_.WriteFirst(first));
  EXPECT_EQ(port_.QueuedCount(), 4u);
  ASSERT_TRUE(port_.Start());  // queued before the start: written once the thread runs
  EXPECT_EQ(pty_.Receive(4), "DABC");
}

TEST_F(ThreadedCommportTest, WriteFirstWaitsBehindTheHeadBeingWritten) {
  // At 9600 baud the write may take 2 ms a byte, so the head stays on the
  // wire for as long as the far end does not read.
  OpenConfigured(9600);
  const std::size_t headSize = 256 * 1024;
  auto head = std::make_unique<CByteArray>(headSize, BYTE{'h'});
  auto tail = Array("T");
  ASSERT_TRUE(port_.Write(head));
  ASSERT_TRUE(port_.Write(tail));
  ASSERT_TRUE(port_.Start());
  ASSERT_TRUE(Eventually([&] { return port_.IsWriteInProgress(); }));
  auto first = Array("F");
  ASSERT_TRUE(port_.WriteFirst(first));
  EXPECT_EQ(port_.QueuedCount(), 3u);  // the head leaves only when its write completes
  EXPECT_EQ(pty_.Receive(headSize + 2), std::string(headSize, 'h') + "FT");
}

TEST_F(ThreadedCommportTest, PurgeEmptiesTheQueueAndTouchesTheDeviceOnlyWhenAsked) {
  struct Case {
    DWORD flags;
    bool deviceTouched;
  } cases[] = {{0, false}, {afx::PURGE_RXCLEAR, true}, {afx::PURGE_TXABORT | afx::PURGE_TXCLEAR, true}};
  OpenConfigured();
  for (const Case& c : cases) {
    auto a = Array("a"), b = Array("b");
    port_.Write(a);
    port_.Write(b);
    const std::size_t before = journal_.Calls().size();
    EXPECT_TRUE(port_.Purge(c.flags));
    EXPECT_EQ(port_.QueuedCount(), 0u);
    const auto calls = journal_.Calls();
    EXPECT_EQ(calls.size() > before, c.deviceTouched) << c.flags;
    if (c.deviceTouched) {
      EXPECT_EQ(calls.back(), "purge " + std::to_string(c.flags));
    }
  }
  // Nothing purged is written later.
  ASSERT_TRUE(port_.Start());
  auto c = Array("c");
  port_.Write(c);
  EXPECT_EQ(pty_.Receive(3, 200), "c");
}

TEST_F(ThreadedCommportTest, SendBreakRaisesAndClearsEvenForZero) {
  OpenConfigured();
  for (DWORD ms : {0u, 250u}) {
    const std::size_t before = journal_.Calls().size();
    const std::int64_t start = clock_.NowNs();
    EXPECT_TRUE(port_.SendBreak(ms));
    const auto calls = journal_.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + std::ptrdiff_t(before), calls.end()),
              (std::vector<std::string>{"break on", "break off"}));
    EXPECT_EQ(clock_.NowNs() - start, std::int64_t(ms) * 1'000'000);
  }
}

TEST_F(ThreadedCommportTest, CloseLowersDtrStopsTheThreadAndLeavesThePortReopenable) {
  EXPECT_FALSE(port_.Close());
  EXPECT_FALSE(port_.Open("/nonexistent/tty"));
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(port_.Configure(PortSettings{}));

  OpenConfigured();
  EXPECT_FALSE(port_.Open(pty_.Slave().c_str()));  // already open
  EXPECT_TRUE(port_.Close());                       // never started
  EXPECT_FALSE(port_.IsOpen());
  auto calls = journal_.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
            (std::vector<std::string>{"line dtr off", "purge 15"}));

  for (const char* text : {"one", "two"}) {
    OpenConfigured();
    ASSERT_TRUE(port_.Start());
    const size_t before = received_.Bytes().size();  // taken before the bytes can arrive
    pty_.Send(text);
    ASSERT_TRUE(received_.WaitFor(before + 3));
    auto queued = Array("left");
    port_.Write(queued);
    EXPECT_TRUE(port_.Close());
    EXPECT_EQ(port_.QueuedCount(), 0u);
  }
  EXPECT_EQ(received_.Bytes(), "onetwo");
}

TEST_F(ThreadedCommportTest, IntervalModeHoldsBytesUntilTheLineGoesQuiet) {
  OpenConfigured(115200, 0xDEAD0064);
  ASSERT_TRUE(port_.Start());
  pty_.Send("AB");
  // Virtual time stands still, so the 20 ms gap has not passed yet.
  EXPECT_FALSE(received_.WaitFor(1, 100));
  pty_.Send("CD");
  EXPECT_FALSE(received_.WaitFor(1, 100));
  clock_.AdvanceMs(25);
  ASSERT_TRUE(received_.WaitFor(4));
  std::lock_guard<std::mutex> lock(received_.mutex);
  EXPECT_EQ(received_.chunks, (std::vector<std::string>{"ABCD"}));
}

}  // namespace
