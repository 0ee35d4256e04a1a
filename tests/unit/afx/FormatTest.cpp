#include <gtest/gtest.h>

#include <string>

#include "afx/Format.h"
#include "afx/Trace.h"

TEST(FormatTest, ChecksArgumentsAgainstConversions) {
  struct Case {
    std::string got;
    std::string want;
  };
  const CString name("QZ7xx");
  const Case cases[] = {
      {FormatText("COM%d", 4), "COM4"},
      {FormatText("%s on COM%d", name, 3), "QZ7xx on COM3"},
      {FormatText("[%d] [%ld] COM%d", 303u, 31, 4), "[303] [31] COM4"},
      {FormatText("%08X", 0x1234ABu), "001234AB"},
      {FormatText("%x", -1), "ffffffff"},          // 'x' of a 32-bit int stays 32 bits
      {FormatText("%hx", 0x12345), "2345"},
      {FormatText("%hhd %hhu", 300, 300), "44 44"},
      {FormatText("%I64d %llx", 1LL << 40, 1LL << 40), "1099511627776 10000000000"},
      {FormatText("100%%"), "100%"},
      {FormatText("% .*s.%0.*s", 3, "00410", 2, "10"), "004.10"},
      {FormatText("%5.1f%%", 99.94), " 99.9%"},
      {FormatText("%c", 'A'), "A"},
      {FormatText("no args"), "no args"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(FormatTest, MismatchedArgumentsNeverReachPrintfAndExtraOnesAreTraced) {
  std::string traced;
  afx::TraceSink previous = afx::SetTraceSink([&](const std::string& line) { traced += line; });
  EXPECT_EQ(FormatText("plain", 7), "plain");
  EXPECT_FALSE(traced.empty());
  traced.clear();
  EXPECT_EQ(FormatText("%s", 5), "<?>");        // an int where text is expected
  EXPECT_EQ(FormatText("%d and %d", 1), "1 and <?>");
  EXPECT_EQ(FormatText("%n", 1), "<?>");        // never written through
  EXPECT_EQ(FormatText("%f", 2), "<?>");
  EXPECT_EQ(FormatText("%p", 2), "<?>");
  afx::SetTraceSink(previous);
  EXPECT_NE(traced.find("do not match"), std::string::npos);
}
