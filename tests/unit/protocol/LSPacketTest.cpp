// The loader protocol: frames, every command's payload, and the receiver.
#include <functional>
#include <memory>
#include <tuple>

#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "protocol/LSEraseEnquirePacket.h"
#include "protocol/LSEraseFlashPacket.h"
#include "protocol/LSExecutePacket.h"
#include "protocol/LSGetTICFWInfoPacket.h"
#include "protocol/LSProductIDWritePacket.h"
#include "protocol/LSProgramFlashPacket.h"
#include "protocol/LSProgramRamPacket.h"
#include "protocol/LSProgramTICFWBufPacket.h"
#include "protocol/LSProgramTICFWNowPacket.h"
#include "protocol/LSReadMemoryPacket.h"
#include "protocol/LSRebootPacket.h"
#include "protocol/LSRequestFlashInfo.h"
#include "protocol/LSRequestProductInfoPacket.h"
#include "protocol/LSRetrieveMemMapPacket.h"
#include "protocol/LSRetrieveRadioCfgPacket.h"
#include "protocol/LSSendRadioCfgPacket.h"
#include "protocol/LSSwitchBaudPacket.h"
#include "protocol/LSVindraGetAutoOnPacket.h"
#include "protocol/LSVindraSetAutoOnPacket.h"
#include "support/Frames.h"
#include "support/PluginTestEnv.h"
#include "support/ScriptedIo.h"

namespace {

using test::B;
using test::Bytes;
using test::Cat;
using test::LoaderFrame;

class LSPacketTest : public ::testing::Test {
 protected:
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  test::PluginStrings strings_;
  test::RecordingUi ui_;
  test::ScriptedIo io_;
};

// Frames sum their payload eight bytes at a time; the sum must be the same
// as byte by byte at every length and with every byte at its largest.
TEST(PacketSumTest, MatchesTheSumByteByByte) {
  for (const size_t n : {0, 1, 7, 8, 9, 1024, 1031, 1032, 2049, 65535}) {
    for (const bool largest : {true, false}) {
      SCOPED_TRACE(std::to_string(n) + (largest ? " bytes of 0xFF" : " bytes"));
      Bytes data(n);
      std::uint32_t expected = 0;
      for (size_t i = 0; i < n; ++i) expected += data[i] = largest ? 0xFF : static_cast<BYTE>(i * 131 + 7);
      EXPECT_EQ(CPacket::SumOfBytes(data.data(), n), expected);
    }
  }
}

TEST_F(LSPacketTest, ReadMemoryRequestMatchesTheWorkedChecksum) {
  CLSReadMemoryPacket packet(0x00012345, 16);
  ASSERT_TRUE(packet.SendPacket(io_));
  const std::vector<Bytes> writes = {B({0x02, 0x05, 0x00, 0x06}), B({0x00, 0x01, 0x23, 0x45, 0x00, 0x10}),
                                     B({0x00, 0x84, 0x03})};
  EXPECT_EQ(io_.line.writes, writes);
  EXPECT_EQ(io_.line.written, LoaderFrame(5, B({0x00, 0x01, 0x23, 0x45, 0x00, 0x10})));
}

TEST_F(LSPacketTest, EveryCommandCarriesItsCodeAndPayload) {
  const Bytes three = B({0xA1, 0xB2, 0xC3});
  struct Case {
    const char* what;
    std::function<std::unique_ptr<CLSPacket>()> make;
    int command;
    Bytes payload;
  };
  const Case cases[] = {
      {"erase", [] { return std::make_unique<CLSEraseFlashPacket>(0x00020000); }, 1,
       B({0x01, 0x00, 0x02, 0x00, 0x00})},
      {"erase, alternate", [] { return std::make_unique<CLSEraseFlashPacket>(0x10000, true); }, 21,
       B({0x01, 0x00, 0x01, 0x00, 0x00})},
      {"erase enquire", [] { return std::make_unique<CLSEraseEnquirePacket>(); }, 2, {}},
      {"erase enquire, alternate", [] { return std::make_unique<CLSEraseEnquirePacket>(true); }, 22, {}},
      {"program flash", [&] { return std::make_unique<CLSProgramFlashPacket>(0x01020304, three.data(), 3); }, 3,
       B({0x01, 0x02, 0x03, 0x04, 0xA1, 0xB2, 0xC3})},
      {"program flash, alternate",
       [&] { return std::make_unique<CLSProgramFlashPacket>(0x01020304, three.data(), 3, true); }, 23,
       B({0x01, 0x02, 0x03, 0x04, 0xA1, 0xB2, 0xC3})},
      {"reboot", [] { return std::make_unique<CLSRebootPacket>(); }, 4, {}},
      {"read memory", [] { return std::make_unique<CLSReadMemoryPacket>(0xFFFE0001, 0x0400); }, 5,
       B({0xFF, 0xFE, 0x00, 0x01, 0x04, 0x00})},
      {"product info", [] { return std::make_unique<CLSRequestProductInfoPacket>(); }, 6, {}},
      {"product ID write", [&] { return std::make_unique<CLSProductIDWritePacket>(three.data(), 3); }, 13, three},
      {"program RAM", [&] { return std::make_unique<CLSProgramRamPacket>(0x20000000, three.data(), 3); }, 14,
       B({0x20, 0x00, 0x00, 0x00, 0xA1, 0xB2, 0xC3})},
      {"execute", [] { return std::make_unique<CLSExecutePacket>(0x00008000); }, 16, B({0x00, 0x00, 0x80, 0x00})},
      {"switch baud", [] { return std::make_unique<CLSSwitchBaudPacket>(115200); }, 17, B({0x00, 0x01, 0xC2, 0x00})},
      {"radio config", [] { return std::make_unique<CLSRetrieveRadioCfgPacket>(); }, 18, {}},
      {"send radio config", [&] { return std::make_unique<CLSSendRadioCfgPacket>(three.data(), 3); }, 19, three},
      {"flash info", [] { return std::make_unique<CLSRequestFlashInfo>(); }, 20, {}},
      {"controller buffer", [&] { return std::make_unique<CLSProgramTICFWBufPacket>(0x1234, three.data(), 3); }, 25,
       B({0x12, 0x34, 0x00, 0x00, 0xA1, 0xB2, 0xC3})},
      {"controller program", [] { return std::make_unique<CLSProgramTICFWNowPacket>(); }, 26, {}},
      {"controller info", [] { return std::make_unique<CLSGetTICFWInfoPacket>(); }, 27, {}},
      {"set auto-on", [] { return std::make_unique<CLSVindraSetAutoOnPacket>(2); }, 29, B({0x02})},
      {"get auto-on", [] { return std::make_unique<CLSVindraGetAutoOnPacket>(); }, 30, {}},
      {"memory map", [] { return std::make_unique<CLSRetrieveMemMapPacket>(); }, 43, {}},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    std::unique_ptr<CLSPacket> packet = c.make();
    EXPECT_EQ(packet->GetCommand(), c.command) << c.what;
    ASSERT_TRUE(packet->SendPacket(io)) << c.what;
    EXPECT_EQ(io.line.written, LoaderFrame(c.command, c.payload)) << c.what;
    EXPECT_EQ(io.line.writes.size(), c.payload.empty() ? 2u : 3u) << c.what;
  }
}

TEST_F(LSPacketTest, ReceiveAcceptsOnlyACompleteFrameOfItsOwnCommand) {
  const Bytes reply = B({0x11, 0x22, 0x33});
  const Bytes good = LoaderFrame(5, reply);
  Bytes badSum = good;
  badSum[badSum.size() - 3] ^= 0x01;
  Bytes noEtx = good;
  noEtx.back() = 0x00;
  Bytes tooLong = B({0x02, 0x05, 0x08, 0x08});  // announces 2056 bytes
  const Bytes longest(2055, 0x5A);
  struct Case {
    const char* what;
    Bytes script;
    bool ok;
    Bytes data;
  };
  const Case cases[] = {
      {"plain", good, true, reply},
      {"zero length: the checksum is the command", B({0x02, 0x05, 0x00, 0x00, 0x00, 0x05, 0x03}), true, {}},
      {"2055 bytes", LoaderFrame(5, longest), true, longest},
      {"2056 announced, then a good one", Cat({tooLong, good}), true, reply},
      {"other command first", Cat({LoaderFrame(6, reply), good}), true, reply},
      {"bad checksum first", Cat({badSum, good}), true, reply},
      {"missing end byte first", Cat({noEtx, good}), true, reply},
      {"ACK and NAK are not special", Cat({B({0x06, 0x15}), good}), true, reply},
      {"report frame is not a loader frame", test::ReportFrame(5, reply), false, {}},
  };
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(c.script);
    CLSReadMemoryPacket packet(0x1000, 3);
    EXPECT_EQ(packet.ReceivePacket(io, 3.0), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(packet.GetData(), c.data) << c.what;
    }
  }
}

TEST_F(LSPacketTest, ThreeAttemptsNothingResentPortFailuresOnlyFromTheLast) {
  CLSRebootPacket reboot;
  const std::int64_t start = clock_.NowNs();
  EXPECT_FALSE(reboot.ReceivePacket(io_, 3.0));
  // Three reads, each timing out at 2 s, and nothing written.
  EXPECT_EQ(std::make_tuple(clock_.NowNs() - start, io_.line.reads, reboot.GetLastError(), io_.line.written.size()),
            std::make_tuple(std::int64_t{6'000'000'000}, 3, -1, std::size_t{0}));

  struct Case {
    int failures;
    bool throws;
  };
  for (const Case& c : {Case{2, false}, Case{3, true}}) {
    test::ScriptedIo io;
    for (int i = 0; i < c.failures; ++i) io.line.FeedFailure();
    io.line.Feed(LoaderFrame(4, {}));
    CLSRebootPacket packet;
    if (c.throws) {
      EXPECT_THROW(packet.ReceivePacket(io, 3.0), CSerialComException);
    } else {
      EXPECT_TRUE(packet.ReceivePacket(io, 3.0));
    }
  }
}

TEST_F(LSPacketTest, ASendFailureIsShownAndGivesFalse) {
  io_.line.failWrites = 1;
  CLSRebootPacket reboot;
  EXPECT_FALSE(reboot.SendPacket(io_));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_NE(ui_.boxes[0].text.find("[304]"), std::string::npos);
}

TEST_F(LSPacketTest, ControllerVersionIsTwoDecimalDigitsInOneByte) {
  struct Case {
    Bytes reply;
    bool ok;
    int version;
  };
  const Case cases[] = {{B({0x00, 0x12, 0x00, 0x00}), true, 102},
                        {B({0x00, 0x45, 0x00, 0x00}), true, 405},
                        {B({0x00}), false, -1}};
  for (const Case& c : cases) {
    test::ScriptedIo io;
    io.line.Feed(LoaderFrame(27, c.reply));
    CLSGetTICFWInfoPacket info;
    ASSERT_TRUE(info.ReceivePacket(io, 3.0));
    int version = -1;
    EXPECT_EQ(info.GetFirmwareVersion(&version), c.ok);
    EXPECT_EQ(version, c.version);
  }
}

}  // namespace
