// The receiver's monitor, the application-mode upload, the USB link and the fault rules.
#include <gtest/gtest.h>

#include <algorithm>

#include "SimHost.h"

namespace sim {
namespace {

class MonitorTest : public ::testing::Test {
 protected:
  static Profile Monitor() {
    Profile p;
    p.startInMonitor = true;
    return p;
  }
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
};

Bytes Address(std::uint32_t a) {
  return {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
          static_cast<std::uint8_t>(a)};
}

TEST_F(MonitorTest, RecordsHaveTheirSizesAndFields) {
  SimHost host(Monitor());
  const auto product = host.AskLoader(6);
  ASSERT_TRUE(product);
  ASSERT_EQ(product->data.size(), 425u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&product->data[34])), "QZ710");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&product->data[2])), "5012A00123");
  EXPECT_EQ(product->data[147], 1);
  EXPECT_EQ(product->data[336], 0x64);
  const auto hardware = host.AskLoader(20, {1});
  ASSERT_TRUE(hardware);
  EXPECT_EQ(hardware->data.size(), 72u);
  const auto flash = host.AskLoader(20);
  ASSERT_TRUE(flash);
  ASSERT_EQ(flash->data.size(), 68u);
  EXPECT_EQ(Bytes(flash->data.begin(), flash->data.begin() + 4), Address(0x02400000));
  EXPECT_EQ(Bytes(flash->data.begin() + 26, flash->data.begin() + 30), Address(0x02440000));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&flash->data[10])), "Corval 4");
  EXPECT_EQ(host.AskLoader(27)->data[1], 0x12);
  Profile noHw = Monitor();
  noHw.hardwareInfo = false;
  SimHost other(noHw, "nohw");
  other.SendLoader(20, {1});
  EXPECT_FALSE(other.ReadLoader(20, 15000)) << "the hardware form goes unanswered";
}

TEST_F(MonitorTest, EraseProgressesOverTimeAndProgrammingOnlyClearsBits) {
  SimHost host(Monitor());
  ASSERT_TRUE(host.AskLoader(1, {0x01, 0x02, 0x44, 0x00, 0x00}));
  EXPECT_EQ(host.AskLoader(2)->data, (Bytes{0}));
  Sleep(1500);
  EXPECT_EQ(host.AskLoader(2)->data, (Bytes{1}));
  Bytes block = Address(0x02440010);
  for (int i = 0; i < 1024; ++i) block.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(host.AskLoader(3, block)->data, (Bytes{1}));
  const auto back = host.AskLoader(5, {0x02, 0x44, 0x00, 0x10, 0x04, 0x00});
  ASSERT_TRUE(back);
  EXPECT_EQ(back->data, Bytes(block.begin() + 4, block.end()));
  // Writing again without an erase ANDs into what is there.
  EXPECT_EQ(host.AskLoader(3, {0x02, 0x44, 0x00, 0x11, 0xF0})->data, (Bytes{1}));
  EXPECT_EQ(host.Rx().Flash().Read(0x02440011, 1), (Bytes{0x01 & 0xF0}));
  EXPECT_EQ(host.Rx().Flash().EraseLog(), (std::vector<std::uint32_t>{0x02440000}));
}

TEST_F(MonitorTest, CommandSetsSwitchBaudRadioAndController) {
  struct Case {
    bool legacy;
    std::uint8_t erase;
    bool answered;
  } cases[] = {{true, 1, true}, {true, 21, true}, {false, 1, false}, {false, 21, true}};
  for (const auto& c : cases) {
    Profile p = Monitor();
    p.legacyErase = c.legacy;
    SimHost host(p, "set" + std::to_string(c.erase) + (c.legacy ? "l" : "x"));
    EXPECT_EQ(host.AskLoader(c.erase, {0x01, 0x02, 0x45, 0x00, 0x00}).has_value(), c.answered)
        << "legacy " << c.legacy << " command " << int(c.erase);
  }
  SimHost host(Monitor());
  EXPECT_EQ(host.AskLoader(17, Address(115200))->data, (Bytes{1}));
  EXPECT_FALSE(host.AskLoader(6).has_value()) << "the monitor moved to 115200";
  host.SetBaud(115200);
  EXPECT_TRUE(host.AskLoader(6).has_value());
  const Bytes area = host.AskLoader(18)->data;
  ASSERT_EQ(area.size(), 1024u);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + 3), (Bytes{'E', 'R', 1}));
  EXPECT_EQ(host.AskLoader(19, Bytes(256, 0x5A))->data, (Bytes{1}));
  Bytes expected = area;
  std::fill_n(expected.begin(), 256, 0x5A);
  EXPECT_EQ(host.Rx().RadioConfig(), expected) << "a short write covers the start of the area";
  EXPECT_EQ(host.AskLoader(19, Bytes(1025, 0x5A))->data, (Bytes{0})) << "longer than the area";
  EXPECT_EQ(host.AskLoader(25, {0x00, 0x00, 0x00, 0x00, 0xAA, 0xBB})->data, (Bytes{1}));
  EXPECT_EQ(host.AskLoader(26)->data, (Bytes{1}));
  EXPECT_EQ(host.Rx().ControllerFirmware(), (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(host.AskLoader(29, {2})->data, (Bytes{2}));
  EXPECT_EQ(host.AskLoader(30)->data, (Bytes{2}));
  Profile refusing = Monitor();
  refusing.acceptSwitchBaud = false;
  refusing.radioConfigSize = 0;
  SimHost other(refusing, "refusing");
  EXPECT_EQ(other.AskLoader(17, Address(115200))->data, (Bytes{0}));
  EXPECT_EQ(other.AskLoader(18)->data, (Bytes{0})) << "no radio: a single 0";
}

TEST_F(MonitorTest, ErrorLogImageInEveryVersion) {
  for (int version : {1, 2, 3}) {
    Profile p = Monitor();
    p.errorLogImageVersion = version;
    p.errorLog.push_back({0xA1B2C3D4, 9, 0x12, 0xA0, 0xB0, 1, 0xC0, 412, 2016, 3, 7, 1000, 2000});
    SimHost host(p, "elog" + std::to_string(version));
    const auto map = host.AskLoader(43);
    ASSERT_TRUE(map);
    ASSERT_EQ(map->data.size(), 64u);
    const std::uint32_t start = 0x02400000 + 0x00180000;
    EXPECT_EQ(Bytes(map->data.begin() + 40, map->data.begin() + 44), Address(0x00180000));
    const std::size_t size = version == 1 ? 40 : version == 2 ? 35 : 125;
    Bytes req = Address(start);
    req.push_back(static_cast<std::uint8_t>(size * 2 >> 8));
    req.push_back(static_cast<std::uint8_t>(size * 2));
    const auto image = host.AskLoader(5, req);
    ASSERT_TRUE(image);
    EXPECT_EQ(Bytes(image->data.begin(), image->data.begin() + 6), (Bytes{'E', 'L', 'o', 'g', 0, static_cast<std::uint8_t>(version)}));
    EXPECT_EQ(image->data[size], 0xFC);
    const std::size_t number = version == 1 ? 4 : 1;
    EXPECT_EQ(Bytes(image->data.begin() + static_cast<std::ptrdiff_t>(size + number),
                    image->data.begin() + static_cast<std::ptrdiff_t>(size + number + 4)),
              (Bytes{0xA1, 0xB2, 0xC3, 0xD4}))
        << "version " << version;
    if (version >= 2) {  // the newer records: every field from the number to the week in its place
      EXPECT_EQ(Bytes(image->data.begin() + static_cast<std::ptrdiff_t>(size + 1),
                      image->data.begin() + static_cast<std::ptrdiff_t>(size + 35)),
                (Bytes{0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 0xA0, 0, 0, 0, 0xB0, 0, 0, 0, 0x01, 0, 0, 0, 0xC0,
                       0x01, 0x9C, 0x07, 0xE0, 3, 7, 9, 0x12, 0, 0, 0x03, 0xE8, 0x07, 0xD0}))
          << "version " << version;
    }
  }
}

TEST_F(MonitorTest, ApplicationUploadInstallsThroughItsStates) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "keeps its version" : "takes the new version");
    Profile p;
    p.uploadBusyFirst = true;
    p.uploadStates = {{1, 2000}, {3, 4000}, {6, 0}};
    p.keepVersion = keep;
    SimHost host(p);
    auto upload = [&](const Bytes& data) {
      host.SendReport(0x9B, data, true);
      return host.ReadReport(0x9F, 3000, true);
    };
    EXPECT_EQ(upload({0x07, 0x00})->data[2], 1) << "a stale upload is reported busy";
    EXPECT_EQ(upload({0x06, 0x02})->data[2], 0);
    // A one-section container: its payload goes to its flash address.
    Bytes image(0x6C + 84, 0);
    image[0x17] = 1;
    image[0x6C] = 0x00;
    image[0x6C + 1] = 0x02;
    image[0x6C + 4] = 4;
    image[0x6C + 5] = 80;
    const Bytes len = Address(8), addr = Address(0x02450000);
    std::copy(len.begin(), len.end(), image.begin() + 0x6C + 8);
    std::copy(addr.begin(), addr.end(), image.begin() + 0x6C + 0x10);
    for (int i = 0; i < 8; ++i) image.push_back(static_cast<std::uint8_t>(0x10 + i));
    Bytes block{0x06, 0x00, 0, 0, 0, 0};
    block.insert(block.end(), image.begin(), image.end());
    EXPECT_EQ(upload(block)->data[2], 2);
    std::vector<int> states;
    for (int i = 0; i < 5; ++i) {
      const auto r = upload({0x07, 0x00});
      ASSERT_TRUE(r);
      states.push_back(r->data[3]);
      Sleep(2000);
    }
    EXPECT_EQ(states, (std::vector<int>{1, 3, 3, 6, 6}));
    EXPECT_EQ(host.Rx().UploadedImage(), image);
    EXPECT_EQ(host.Rx().Flash().Read(0x02450000, 8), Bytes(image.end() - 8, image.end()));
    EXPECT_EQ(host.Rx().Installs(), 1);
    const auto id = upload({kIdentityQuery, 0x00});
    ASSERT_TRUE(id);
    ASSERT_EQ(id->data.size(), kIdentityReplySize);
    EXPECT_EQ(id->data[kIdentityProductCode], 0x64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&id->data[kIdentityProductName])), "QZ710");
    EXPECT_EQ(id->data[kIdentityInstalled + 1], keep ? 10 : 80) << "the installed section's version";
  }
}

TEST_F(MonitorTest, UsbLinkVanishesWhileTheReceiverRestarts) {
  Profile p;
  p.port = 15;
  SimHost host(p);
  EXPECT_NE(host.BreakInfo().find("PORT,15,"), std::string::npos);
  host.SendReport(0x87);
  Sleep(500);
  EXPECT_FALSE(host.Write({0x00})) << "the old handle dies with the link";
  host.Close();
  DWORD error = 0;
  EXPECT_FALSE(host.Open(&error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  Sleep(p.appToMonitorMs);
  ASSERT_TRUE(host.Open(&error)) << error;
  EXPECT_NE(host.BreakInfo().find("-MONITOR"), std::string::npos);
  DWORD busy = 0;
  EXPECT_FALSE(afx::OpenSerialDevice("sim:test", &busy));
  EXPECT_EQ(busy, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(MonitorTest, FaultRulesFireWhereTheySay) {
  struct Case {
    const char* rule;
    FaultRule fault;
    Bytes expected;  // what the host reads for each of three version requests: replies (0: none), or NAK
  };
  auto rule = [](FaultAction a, std::uint32_t n, int type = -1, std::uint32_t count = 1, std::uint32_t ms = 0) {
    FaultRule r;
    r.action = a;
    r.n = n;
    r.type = type;
    r.count = count;
    r.ms = ms;
    return r;
  };
  auto with = [](FaultRule r, void (*set)(FaultRule&)) {
    set(r);
    return r;
  };
  const Case cases[] = {
      {"drop-reply n=2", rule(FaultAction::DropReply, 2), {1, 0, 1}},
      {"corrupt-reply n=1", rule(FaultAction::CorruptReply, 1), {0, 1, 1}},
      {"nak n=3", rule(FaultAction::Nak, 3), {1, 1, kNak}},
      {"silence n=2 count=0", rule(FaultAction::Silence, 2, -1, 0), {1, 0, 0}},
      {"silence n=1 count=1", rule(FaultAction::Silence, 1, -1, 1), {0, 1, 1}},
      {"drop-reply other type", rule(FaultAction::DropReply, 1, 0x15), {1, 1, 1}},
      // The late reply comes in with the next one.
      {"delay 5 s", rule(FaultAction::Delay, 2, -1, 1, 5000), {1, 0, 2}},
      {"drop-byte n=3 to-host", rule(FaultAction::DropByte, 3), {0, 1, 1}},
      {"corrupt-byte n=40 to-host", rule(FaultAction::CorruptByte, 40), {1, 0, 1}},
      {"corrupt-byte n=3 bit=0", with(rule(FaultAction::CorruptByte, 3), [](FaultRule& r) { r.bit = 0; }), {0, 1, 1}},
      {"garbage n=2 count=3", with(rule(FaultAction::Garbage, 2, -1, 3), [](FaultRule& r) { r.seed = 5; }), {0, 1, 1}},
      {"drop-reply at=2 n=1", with(rule(FaultAction::DropReply, 1), [](FaultRule& r) { r.at = 2; }), {1, 0, 1}},
      {"duplicate-reply n=2", rule(FaultAction::DuplicateReply, 2), {1, 2, 1}},
      // Restarting takes 10 s: the third request, 3 s later, finds it still away.
      {"reset n=2", rule(FaultAction::Reset, 2), {1, 0, 0}},
      {"cut n=1 ms=4000", rule(FaultAction::Cut, 1, -1, 1, 4000), {0, 0, 1}},
      {"wrong-baud n=1 ms=4000", with(rule(FaultAction::WrongBaud, 1, -1, 1, 4000), [](FaultRule& r) { r.baud = 19200; }),
       {0, 0, 1}},
  };
  for (const auto& c : cases) {
    Profile p;
    p.faults = {c.fault};
    SimHost host(p, "fault");
    Bytes got;
    for (int i = 0; i < 3; ++i) {
      host.SendReport(0x06);
      Bytes raw = host.ReadFor(3000);
      ReportCodec d;
      std::uint8_t replies = 0;
      for (auto b : raw) replies += d.Feed(b) && d.Frame().type == 0x07;
      got.push_back(replies ? replies : (raw == Bytes{kNak} ? kNak : 0));
    }
    EXPECT_EQ(got, c.expected) << c.rule;
    const bool none = c.expected == Bytes({1, 1, 1});
    EXPECT_EQ(host.Rx().Faults().Fired()[0], none ? 0u : (c.fault.count == 0 ? 2u : 1u)) << c.rule;
  }
  // A disconnect in the middle of a transfer kills the handle; the device comes back after `ms`.
  Profile p;
  p.faults = {rule(FaultAction::Disconnect, 2, 0x06, 1, 4000)};
  SimHost host(p, "unplug");
  EXPECT_TRUE(host.Ask(0x06, {}, 0x07));
  host.SendReport(0x06);
  Sleep(100);
  std::uint8_t b = 0;
  DWORD n = 0;
  EXPECT_FALSE(host.Device().Read(&b, 1, &n));
  host.Close();
  EXPECT_FALSE(host.Open());
  Sleep(4000);
  ASSERT_TRUE(host.Open());
  EXPECT_TRUE(host.Ask(0x06, {}, 0x07));
}

}  // namespace
}  // namespace sim
