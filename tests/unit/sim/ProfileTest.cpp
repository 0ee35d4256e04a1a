// Reading profiles: bad input is refused with its line number and leaves the
// profile as it was. (What good lines mean is relied on by every scenario.)
#include <gtest/gtest.h>

#include "sim/Profile.h"

namespace sim {
namespace {

TEST(ProfileTest, RefusesBadLinesAndKeepsTheProfile) {
  const std::string longLine(2000, 'x');
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"product", "line 2: expected key = value"},
      {"\ncolour = red", "line 3: unknown key \"colour\""},
      {"port.baud = 12", "line 2: port.baud: number 12 is below 300"},
      {"port.baud = 99999999999999999999", "line 2: port.baud: expected a number"},
      {"product.capability = 4", "line 2: product.capability: number 4 is above 3"},
      {"product = A;B", "line 2: product: text may not hold"},
      {"serial = 0123456789012345678901234567890123", "line 2: serial: text longer than 31"},
      {"net.ip = 1.2.3", "line 2: net.ip: expected a dotted address"},
      {"flash.regions = 1*0x100", "line 2: flash.regions: flash.regions lists exactly three"},
      {"fault = explode n=1", "line 2: fault: unknown fault \"explode\""},
      {"fault = nak n=0", "line 2: fault: n=0 (every match) is only for delay"},
      {"fault = drop-byte n=1 dir=up", "line 2: fault: dir is to-host or to-receiver"},
      {"errorlog.entry = 1,2,3", "line 2: errorlog.entry: errorlog.entry takes 13 to 16"},
      {"mode = sleeping", "line 2: mode: mode is application or monitor"},
      {longLine.c_str(), "line 2: line longer than 1024 characters"},
  };
  for (const auto& c : cases) {
    Profile p;
    p.product = "KEEP";
    std::string error;
    EXPECT_FALSE(Profile::Parse(std::string("port.number = 3\n") + c.text, &p, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
    EXPECT_EQ(p.product, "KEEP");
    EXPECT_EQ(p.port, 1) << "a refused profile changes nothing";
  }
  Profile p;
  std::string error;
  EXPECT_FALSE(Profile::Load("/nonexistent/profile", &p, &error));
}

}  // namespace
}  // namespace sim
