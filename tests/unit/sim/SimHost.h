// The host side for the receiver tests: opens the attached receiver through
// the framework's serial devices (as the port layer does) and exchanges
// frames on the virtual clock.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "sim/LoaderCodec.h"
#include "sim/ReportCodec.h"
#include "sim/SimAttach.h"

namespace sim {

using Bytes = std::vector<std::uint8_t>;

class SimHost {
 public:
  explicit SimHost(const Profile& profile = {}, const std::string& name = "test") {
    std::string error;
    attachment_ = Attach(profile, 0, &error, name);
    EXPECT_TRUE(attachment_) << error;
    DWORD e = 0;
    device_ = afx::OpenSerialDevice(attachment_->Path(), &e);
    EXPECT_TRUE(device_) << e;
    afx::COMMTIMEOUTS t;
    t.ReadIntervalTimeout = afx::MAXDWORD;
    t.ReadTotalTimeoutMultiplier = afx::MAXDWORD;
    t.ReadTotalTimeoutConstant = 100;
    device_->SetTimeouts(t);
    SetBaud(9600);
  }
  ~SimHost() {
    device_->Close();
    Detach(attachment_);
  }

  // The receiver, brought up to the clock's present.
  VirtualReceiver& Rx() {
    attachment_->Receiver().RunUntil(afx::GetClock().NowNs());
    return attachment_->Receiver();
  }
  void SetBaud(DWORD baud) {
    afx::LineSettings s;
    s.baudRate = baud;
    ASSERT_TRUE(device_->SetLineSettings(s));
  }
  void Send(const Bytes& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(device_->Write(bytes.data(), static_cast<DWORD>(bytes.size()), &written));
  }
  void SendReport(std::uint8_t type, const Bytes& data = {}) { Send(ReportCodec::Encode(type, data)); }
  // Everything that arrives within `ms`.
  Bytes ReadFor(DWORD ms) {
    Bytes out;
    const std::int64_t end = afx::GetClock().NowNs() + std::int64_t{ms} * 1'000'000;
    while (afx::GetClock().NowNs() < end) {
      std::uint8_t buf[512];
      DWORD got = 0;
      if (!device_->Read(buf, sizeof buf, &got)) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  // The first report frame of `type` (a lone ACK as type 0x06 with no data) within `ms`.
  std::optional<ReportFrame> ReadReport(std::uint8_t type, DWORD ms = 3000) {
    ReportCodec decoder;
    const std::int64_t end = afx::GetClock().NowNs() + std::int64_t{ms} * 1'000'000;
    while (afx::GetClock().NowNs() < end) {
      std::uint8_t b = 0;
      DWORD got = 0;
      if (!device_->Read(&b, 1, &got)) return std::nullopt;
      if (got == 0) continue;
      if (!decoder.InFrame() && b == kAck && type == kAck) {
        ReportFrame ack;
        ack.type = kAck;
        return ack;
      }
      if (decoder.Feed(b) && decoder.Frame().type == type) return decoder.Frame();
    }
    return std::nullopt;
  }
  bool AskLoader(std::uint8_t command) {
    Send(LoaderCodec::Encode(command, {}));
    LoaderCodec decoder;
    for (std::uint8_t b : ReadFor(3000))
      if (decoder.Feed(b) && decoder.Frame().command == command) return true;
    return false;
  }
  // The break-info text, or "" when nothing came.
  std::string BreakInfo() {
    device_->SetBreak(true);
    Sleep(350);
    device_->SetBreak(false);
    const auto f = ReadReport(0x6E);
    return f ? std::string(f->data.begin(), f->data.end()) : std::string();
  }

 private:
  std::shared_ptr<SimAttachment> attachment_;
  std::unique_ptr<afx::SerialDevice> device_;
};

}  // namespace sim
