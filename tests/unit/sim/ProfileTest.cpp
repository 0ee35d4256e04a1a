// Reading profiles: every key lands where it should, and bad input is refused
// with its line number and leaves the profile as it was.
#include <gtest/gtest.h>

#include "sim/Profile.h"

namespace sim {
namespace {

TEST(ProfileTest, ReadsAKindOfEveryValue) {
  Profile p;
  std::string error;
  ASSERT_TRUE(Profile::Parse(R"(# a USB receiver in its monitor
product = QZ750
mode = monitor
port.number = 15        # USB link
port.baud = 0x1C200
port.parity = E
product.features = 1:1, 7:0
radio.sync_states = 3,3,4
net.ip = 10.0.0.2
flash.regions = 8*0x2000, 2*0x10000, 10*0x20000
upload.states = 1:100, 6:0
errorlog.entry = 0x10,1,2,3,4,1,5,412,2016,3,7,1000,2000
fault = drop-reply n=3 type=0x17
fault = corrupt-byte n=9 dir=to-receiver
fault = garbage at=12 n=4 count=6 seed=99 bit=3 dir=to-host
fault = wrong-baud at=3 baud=4800
)", &p, &error)) << error;
  EXPECT_EQ(p.product, "QZ750");
  EXPECT_EQ(p.MonitorName(), "QZ750-MONITOR");
  EXPECT_TRUE(p.startInMonitor);
  EXPECT_EQ(p.port, 15);
  EXPECT_EQ(p.baud, 115200u);
  EXPECT_EQ(p.parity, 'E');
  EXPECT_EQ(p.features.size(), 2u);
  EXPECT_EQ(p.radioSyncStates, (std::vector<std::uint8_t>{3, 3, 4}));
  EXPECT_EQ(p.ip[3], 2);
  EXPECT_EQ(p.regions[2].sectorSize, 0x20000u);
  ASSERT_EQ(p.errorLog.size(), 1u);
  EXPECT_EQ(p.errorLog[0].version, 412);
  ASSERT_EQ(p.faults.size(), 4u);
  EXPECT_EQ(p.faults[0].action, FaultAction::DropReply);
  EXPECT_EQ(p.faults[0].type, 0x17);
  EXPECT_EQ(p.faults[0].line, 13);
  EXPECT_FALSE(p.faults[1].toHost);
  EXPECT_EQ(p.faults[2].action, FaultAction::Garbage);
  EXPECT_EQ(p.faults[2].at, 12u);
  EXPECT_EQ(p.faults[2].count, 6u);
  EXPECT_EQ(p.faults[2].seed, 99u);
  EXPECT_EQ(p.faults[2].bit, 3);
  EXPECT_EQ(p.faults[3].action, FaultAction::WrongBaud);
  EXPECT_EQ(p.faults[3].baud, 4800u);
  EXPECT_EQ(p.faults[3].ms, 15000u);
}

TEST(ProfileTest, RefusesBadLinesAndKeepsTheProfile) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"product", "line 1: expected key = value"},
      {"\ncolour = red", "line 2: unknown key \"colour\""},
      {"port.baud = 12", "line 1: port.baud: number 12 is below 300"},
      {"port.baud = 99999999999999999999", "line 1: port.baud: expected a number"},
      {"product.capability = 4", "line 1: product.capability: number 4 is above 3"},
      {"product = A;B", "line 1: product: text may not hold"},
      {"serial = 0123456789012345678901234567890123", "line 1: serial: text longer than 31"},
      {"versions.boot = 321", "line 1: versions.boot: a version field has exactly 5"},
      {"hw.flags_at = 20", "line 1: hw.flags_at: hw.flags_at is 19 or 45"},
      {"net.ip = 1.2.3", "line 1: net.ip: expected a dotted address"},
      {"net.ip = 1.2.3.256", "line 1: net.ip: number 256 is above 255"},
      {"flash.regions = 1*0x100", "line 1: flash.regions: flash.regions lists exactly three"},
      {"fault = explode n=1", "line 1: fault: unknown fault \"explode\""},
      {"fault = nak n=0", "line 1: fault: n=0 (every match) is only for delay"},
      {"fault = drop-byte n=1 dir=up", "line 1: fault: dir is to-host or to-receiver"},
      {"fault = corrupt-byte bit=8", "line 1: fault: number 8 is above 7"},
      {"fault = wrong-baud baud=100", "line 1: fault: number 100 is below 300"},
      {"errorlog.entry = 1,2,3", "line 1: errorlog.entry: errorlog.entry takes 13 to 16"},
      {"upload.states = 1", "line 1: upload.states: expected a:b pairs"},
      {"mode = sleeping", "line 1: mode: mode is application or monitor"},
  };
  for (const auto& c : cases) {
    Profile p;
    p.product = "KEEP";
    std::string error;
    EXPECT_FALSE(Profile::Parse(std::string("port.number = 3\n") + c.text, &p, &error)) << c.text;
    // The first line is good; the error counts it.
    std::string expected = c.error;
    const auto colon = expected.find(':');
    expected = "line " + std::to_string(std::stoi(expected.substr(5, colon - 5)) + 1) + expected.substr(colon);
    EXPECT_EQ(error.rfind(expected, 0), 0u) << c.text << " gave: " << error;
    EXPECT_EQ(p.product, "KEEP");
    EXPECT_EQ(p.port, 1) << "a refused profile changes nothing";
  }
  Profile p;
  std::string error;
  EXPECT_FALSE(Profile::Parse(std::string(2000, 'x'), &p, &error));
  EXPECT_EQ(error, "line 1: line longer than 1024 characters");
  EXPECT_FALSE(Profile::Load("/nonexistent/profile", &p, &error));
}

}  // namespace
}  // namespace sim
