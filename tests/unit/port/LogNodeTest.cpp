#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "afx/Clock.h"
#include "port/LogHub.h"
#include "port/LogNode.h"
#include "port/LogSubscriber.h"

namespace {

class Sink : public CLogSubscriber {
 public:
  explicit Sink(int wanted) : level(wanted) {}
  int GetLevel() override {
    ++levelAsked;
    return level;
  }
  void Write(const char* text, int lineLevel) override {
    lines.emplace_back(text);
    levels.push_back(lineLevel);
  }
  int level;
  int levelAsked = 0;
  std::vector<std::string> lines;
  std::vector<int> levels;
};

// A node attached to a hub with one subscriber at `level`.
struct Wired {
  explicit Wired(int level) : sink(level) {
    hub.AddSubscriber(&sink);
    node.Attach(&hub);
  }
  CLogHub hub;
  Sink sink;
  CLogNode node;
};

// Local time is UTC here so that the virtual clock's start (midnight) is the
// time of day the lines count from.
class LogNodeTest : public testing::Test {
 protected:
  void SetUp() override { Zone("UTC"); }
  void TearDown() override { Zone(savedTz_ ? savedTz_->c_str() : nullptr); }
  static void Zone(const char* tz) {
    tz ? setenv("TZ", tz, 1) : unsetenv("TZ");
    tzset();
  }
  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};

 private:
  const std::optional<std::string> savedTz_ =
      std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(LogNodeTest, LinePrefixCarriesTimeOfDayAndElapsedSeconds) {
  struct Case {
    std::int64_t elapsedMs;
    const char* expected;
  } cases[] = {
      {0, "\r\n 0:00:00.000 [0.00] n=5"},
      {3'723'456, "\r\n 1:02:03.456 [3723.46] n=5"},
      {45'296'789, "\r\n12:34:56.789 [45296.79] n=5"},
      {86'400'000 + 61'000, "\r\n 0:01:01.000 [86461.00] n=5"},
  };
  for (const Case& c : cases) {
    afx::VirtualClock clock;
    afx::ScopedClock scoped(clock);
    Wired w(0);
    clock.AdvanceMs(c.elapsedMs);
    w.node.Log0("n=%d", 5);
    ASSERT_EQ(w.sink.lines.size(), 1u) << c.elapsedMs;
    EXPECT_EQ(w.sink.lines[0], c.expected);
  }
}

TEST_F(LogNodeTest, DetachedNodeLogsNothingAndAttachFollowsTheNode) {
  CLogHub hub;
  Sink sink(3);
  hub.AddSubscriber(&sink);
  CLogNode node;
  const BYTE bytes[2] = {1, 2};
  node.Log0("a");
  node.Log3("b");
  node.LogBytes("TX", bytes, 2);
  EXPECT_TRUE(sink.lines.empty());
  node.Attach(&hub);
  EXPECT_EQ(hub.MemberCount(), 1u);
  node.Log1("c");
  EXPECT_EQ(sink.lines.size(), 1u);
  {
    CLogHub other;
    node.Attach(&other);
    EXPECT_EQ(hub.MemberCount(), 0u);
    EXPECT_EQ(other.MemberCount(), 1u);
  }
  // The hub went away first: the node forgot it.
  EXPECT_EQ(node.Hub(), nullptr);
  node.Log0("d");
  EXPECT_EQ(sink.lines.size(), 1u);
}

TEST_F(LogNodeTest, LineOverTheLimitIsDroppedNotCut) {
  Wired w(0);
  CLogNode& node = w.node;
  Sink& sink = w.sink;
  node.Log0("%s", "");
  ASSERT_EQ(sink.lines.size(), 1u);
  const std::size_t prefix = sink.lines[0].size();
  node.Log0("%s", std::string(CLogNode::kMaxLine - prefix, 'a').c_str());
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[1].size(), CLogNode::kMaxLine);
  node.Log0("%s", std::string(CLogNode::kMaxLine - prefix + 1, 'a').c_str());
  EXPECT_EQ(sink.lines.size(), 2u);
}

TEST_F(LogNodeTest, LevelFiltersSkipLinesNobodyAskedFor) {
  Wired w(1);
  CLogNode& node = w.node;
  Sink& sink = w.sink;
  const BYTE bytes[1] = {0xAB};

  node.Log2("before any emission");  // highest level still 0: not even emitted
  EXPECT_EQ(sink.levelAsked, 0);
  node.Log1("one");
  EXPECT_EQ(sink.levelAsked, 1);

  node.Log2("two");  // emitted (the hub asks the level) but not written
  EXPECT_EQ(sink.levelAsked, 2);
  node.Log3("three");
  node.LogBytes("TX", bytes, 1);
  EXPECT_EQ(sink.levelAsked, 2);  // neither formatted nor emitted
  ASSERT_EQ(sink.lines.size(), 1u);

  // A raised level is seen only after the next emitted line.
  sink.level = 3;
  node.Log3("three again");
  EXPECT_EQ(sink.lines.size(), 1u);
  node.Log0("zero");
  node.Log3("three at last");
  node.LogBytes("TX", bytes, 1);
  ASSERT_EQ(sink.lines.size(), 4u);
  EXPECT_EQ(sink.levels, (std::vector<int>{1, 0, 3, 3}));
  EXPECT_EQ(sink.lines[3], "\r\nTX [AB ]");
}

TEST_F(LogNodeTest, EachSubscriberGetsTheLinesOfItsLevelInListOrder) {
  CLogHub hub;
  Sink low(1), high(3);
  hub.AddSubscriber(&low);
  hub.AddSubscriber(&high);
  CLogNode node(&hub);
  node.Log1("a");
  node.Log2("b");
  node.Log3("c");
  EXPECT_EQ(low.levels, (std::vector<int>{1}));
  EXPECT_EQ(high.levels, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(hub.HighestLevel(), 3);
  hub.RemoveSubscriber(&high);
  node.Log1("d");
  EXPECT_EQ(hub.HighestLevel(), 1);
}

TEST_F(LogNodeTest, HexDumpLayout) {
  std::vector<BYTE> counting(400);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<BYTE>(i);
  const BYTE breakFrame[14] = {0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50, 0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};
  struct Case {
    const char* label;
    const BYTE* bytes;
    std::size_t count;
    std::string expected;
  } cases[] = {
      {"TX", breakFrame, 14, "\r\nTX [02 00 6F 08 54 43 50 42 - 52 45 41 4B C3 03 ]"},
      {"RX", counting.data(), 0, "\r\nRX []"},
      {"RX", counting.data(), 8, "\r\nRX [00 01 02 03 04 05 06 07 - ]"},
      {"RX", counting.data(), 33,
       "\r\nRX [00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F - 10 11 12 13 14 15 16 17 - "
       "18 19 1A 1B 1C 1D 1E 1F \r\n     20 ]"},
      {"RX", counting.data(), 32,
       "\r\nRX [00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F - 10 11 12 13 14 15 16 17 - "
       "18 19 1A 1B 1C 1D 1E 1F \r\n     ]"},
  };
  Wired w(3);
  CLogNode& node = w.node;
  Sink& sink = w.sink;
  node.Log0("prime");  // lets the hub see the level-3 subscriber
  for (const Case& c : cases) {
    sink.lines.clear();
    node.LogBytes(c.label, c.bytes, c.count);
    ASSERT_EQ(sink.lines.size(), 1u) << c.count;
    EXPECT_EQ(sink.lines[0], c.expected) << c.count;
  }

  // 400 bytes: nine full rows of 109 characters after the 6-character head,
  // then the text passes 1000 at byte 293 and the dump stops there.
  sink.lines.clear();
  node.LogBytes("TX", counting.data(), counting.size());
  ASSERT_EQ(sink.lines.size(), 1u);
  const std::string& dump = sink.lines[0];
  EXPECT_EQ(dump.size(), 1007u);
  EXPECT_TRUE(dump.ends_with("\r\n     20 21 22 23 24 ... ]")) << dump;
  EXPECT_EQ(dump.substr(0, 12), "\r\nTX [00 01 ");

  // A long label is cut to 500 characters.
  sink.lines.clear();
  node.LogBytes(std::string(600, 'L').c_str(), counting.data(), 1);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0], "\r\n" + std::string(500, 'L') + " [00 ]");
}

}  // namespace
