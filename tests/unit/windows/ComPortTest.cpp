// A COM port of the Windows serial driver. Run by scripts/wine-comport-test.sh,
// which maps COM$QZ_TEST_COM to a pseudo-terminal in Wine's registry and
// echoes at its other end whatever comes.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "afx/System.h"

namespace {

class ComPortTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string com = afx::GetEnvironment("QZ_TEST_COM");
    if (com.empty()) GTEST_SKIP() << "no COM port mapped to an echoing pseudo-terminal (QZ_TEST_COM)";
    name_ = "\\\\.\\COM" + com;
    DWORD error = 0;
    device_ = afx::OpenSerialDevice(name_, &error);
    ASSERT_TRUE(device_) << name_ << ": error " << error;
  }

  // Reads until `count` bytes came or a read returns none.
  std::string ReadUpTo(DWORD count) {
    std::string got;
    while (got.size() < count) {
      char buffer[64];
      DWORD n = 0;
      if (!device_->Read(buffer, std::min<DWORD>(sizeof buffer, count - static_cast<DWORD>(got.size())), &n) || n == 0)
        break;
      got.append(buffer, n);
    }
    return got;
  }

  std::string name_;
  std::unique_ptr<afx::SerialDevice> device_;
};

// That a port held open is refused to a second opener is the serial
// driver's rule; Wine does not keep it, so it is not asked here.
TEST_F(ComPortTest, OpensAgainOnceClosedAndAMissingPortIsNamed) {
  device_->Close();
  DWORD error = 0;
  EXPECT_NE(afx::OpenSerialDevice(name_, &error), nullptr) << "error " << error;
  EXPECT_EQ(afx::OpenSerialDevice("\\\\.\\COM250", &error), nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(afx::LastSerialOpenFailure("COM250").err, ENOENT);
}

TEST_F(ComPortTest, TakesLineSettingsAndReportsItsSpeeds) {
  for (DWORD baud : {9600u, 38400u, 115200u}) {
    afx::LineSettings settings;
    settings.baudRate = baud;
    ASSERT_TRUE(device_->SetLineSettings(settings)) << baud;
    afx::LineSettings back;
    ASSERT_TRUE(device_->GetLineSettings(&back));
    EXPECT_EQ(back.baudRate, baud);
    EXPECT_EQ(back.byteSize, 8);
    EXPECT_EQ(back.parity, 0);
    EXPECT_TRUE(device_->IsSpeedSupported(baud)) << baud;
  }
}

TEST_F(ComPortTest, ReadsWhatComesWithinTheTimeOutAndNothingAfterIt) {
  ASSERT_TRUE(device_->SetTimeouts({afx::MAXDWORD, afx::MAXDWORD, 500, 0, 2000}));
  DWORD written = 0;
  ASSERT_TRUE(device_->Write("ping", 4, &written));
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(ReadUpTo(4), "ping");
  // Nothing more comes: the read ends empty once its time-out has passed.
  char byte = 0;
  DWORD n = 9;
  const std::int64_t start = afx::GetClock().NowNs();
  ASSERT_TRUE(device_->Read(&byte, 1, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_GE(afx::GetClock().NowNs() - start, 400'000'000);
}

TEST_F(ComPortTest, PurgeDropsWhatArrivedAndBreakGoesOnAndOff) {
  ASSERT_TRUE(device_->SetTimeouts({afx::MAXDWORD, afx::MAXDWORD, 300, 0, 2000}));
  DWORD written = 0;
  ASSERT_TRUE(device_->Write("stale", 5, &written));
  afx::GetClock().SleepMs(300);  // the echo is back in the driver's queue
  ASSERT_TRUE(device_->Purge(afx::PURGE_RXABORT | afx::PURGE_RXCLEAR | afx::PURGE_TXABORT | afx::PURGE_TXCLEAR));
  EXPECT_EQ(ReadUpTo(5), "");
  EXPECT_TRUE(device_->SetBreak(true));
  EXPECT_TRUE(device_->SetBreak(false));
  DWORD errors = 0;
  EXPECT_TRUE(device_->ClearError(&errors));
}

}  // namespace
