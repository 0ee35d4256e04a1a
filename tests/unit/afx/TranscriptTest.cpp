// The transcript line format, and the tap that writes it for real and provided devices.
#include "afx/Transcript.h"

#include <gtest/gtest.h>

#include <tuple>

#include "afx/Clock.h"
#include "afx/TranscriptRecorder.h"
#include "support/PtyPair.h"
#include "support/ScriptedReceiver.h"
#include "support/TempDir.h"

namespace {

using Kind = afx::TranscriptEntry::Kind;

afx::TranscriptEntry Make(std::int64_t ns, Kind kind, std::vector<std::uint8_t> bytes = {}, std::string text = {},
                          DWORD value = 0) {
  afx::TranscriptEntry e;
  e.timeNs = ns;
  e.kind = kind;
  e.bytes = std::move(bytes);
  e.text = std::move(text);
  e.value = value;
  return e;
}

afx::TranscriptEntry LineEntry(std::int64_t ns, afx::LineSettings s) {
  afx::TranscriptEntry e = Make(ns, Kind::Line);
  e.line = s;
  return e;
}

afx::LineSettings Settings(DWORD baud, BYTE data, BYTE parity, BYTE stop) {
  afx::LineSettings s;
  s.baudRate = baud;
  s.byteSize = data;
  s.parity = parity;
  s.stopBits = stop;
  return s;
}

}  // namespace

TEST(TranscriptTest, EachEntryHasOneLineThatParsesBackToIt) {
  afx::LineSettings flow = Settings(115200, 7, 2, 2);
  flow.dtrControl = 1;
  flow.rtsControl = 2;
  flow.outxCtsFlow = true;
  flow.inX = true;
  flow.xonChar = 0x01;
  flow.xoffLim = 512;
  struct Case {
    afx::TranscriptEntry entry;
    const char* line;
  };
  const Case cases[] = {
      {Make(0, Kind::Open, {}, "/dev/serial/by-id/usb-A B\\C"), "0.000000000 open /dev/serial/by-id/usb-A B\\\\C"},
      {Make(1'500'000'001, Kind::Close), "1.500000001 close"},
      {Make(12'000'250'000, Kind::Tx, {0x02, 0xAB, 0x00}), "12.000250000 tx 02 AB 00"},
      {Make(3, Kind::Rx, {0x0D}, "report 0x40 | ok\n"), "0.000000003 rx 0D | report 0x40 | ok\\x0A"},
      {LineEntry(5, Settings(9600, 8, 0, 0)), "0.000000005 line 9600 8N1"},
      {LineEntry(5, Settings(1200, 5, 3, 1)), "0.000000005 line 1200 5M1.5"},
      {LineEntry(5, flow), "0.000000005 line 115200 7E2 cts=1 dtr=1 rts=2 inx=1 xon=01 xofflim=512"},
      {LineEntry(5, Settings(300, 9, 7, 3)), "0.000000005 line 300 raw data=9 parity=7 stop=3"},
      {Make(7, Kind::Break, {}, {}, 1), "0.000000007 break on"},
      {Make(7, Kind::Break, {}, {}, 0), "0.000000007 break off"},
      {Make(8, Kind::Purge, {}, {}, afx::PURGE_RXCLEAR | afx::PURGE_TXABORT), "0.000000008 purge txabort rxclear"},
      {Make(8, Kind::Purge, {}, {}, afx::PURGE_RXABORT | 0x40), "0.000000008 purge rxabort 0x40"},
      {Make(8, Kind::Purge), "0.000000008 purge none"},
      {Make(9, Kind::Escape, {}, {}, afx::CLRRTS), "0.000000009 escape clrrts"},
      {Make(9, Kind::Escape, {}, {}, 77), "0.000000009 escape 77"},
      {Make(10, Kind::Note, {}, "tab\there \x7F"), "0.000000010 note tab\\x09here \\x7F"},
      {Make(10, Kind::Note), "0.000000010 note"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(afx::Transcript::FormatLine(c.entry), c.line);
    afx::TranscriptEntry back;
    std::string error;
    ASSERT_TRUE(afx::Transcript::ParseLine(c.line, &back, &error)) << c.line << ": " << error;
    EXPECT_EQ(back, c.entry) << c.line;
  }
}

TEST(TranscriptTest, RefusesMalformedInputSayingWhereAndWhy) {
  const std::string h = "# serial transcript 1\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"0.000000000 close\n", "line 1: not a serial transcript"},
      {"", "empty"},
      {h + "1 close\n", "line 2: expected a time"},
      {h + "1.00000000 close\n", "line 2: expected a time"},
      {h + "-1.000000000 close\n", "line 2: expected a time"},
      {h + "9000000001.000000000 close\n", "line 2: expected a time"},
      {h + "0.000000000 shout\n", "unknown event \"shout\""},
      {h + "0.000000000 tx\n", "no bytes"},
      {h + "0.000000000 tx 0\n", "two hex digits"},
      {h + "0.000000000 tx 0G\n", "two hex digits"},
      {h + "0.000000000 tx 01  02\n", "two hex digits"},
      {h + "0.000000000 tx 0102\n", "two hex digits"},
      {h + "0.000000000 rx 01 |\n", "expected \" | \""},
      {h + "0.000000000 rx 01 | a\\q\n", "bad escape"},
      {h + "0.000000000 note a\\x4\n", "bad escape"},
      {h + "0.000000000 note a\tb\n", "control character"},
      {h + "0.000000000 open\n", "open without a path"},
      {h + "0.000000000 close now\n", "unexpected \"now\""},
      {h + "0.000000000 line 9600 9N1\n", "bad framing"},
      {h + "0.000000000 line 9600 8X1\n", "bad framing"},
      {h + "0.000000000 line 9600 8N3\n", "bad framing"},
      {h + "0.000000000 line 9600\n", "bad framing"},
      {h + "0.000000000 line 4294967296 8N1\n", "bad speed"},
      {h + "0.000000000 line 9600 8N1 dtr=256\n", "bad value"},
      {h + "0.000000000 line 9600 8N1 cts=2\n", "bad value"},
      {h + "0.000000000 line 9600 8N1 xon=1\n", "two hex digits"},
      {h + "0.000000000 line 9600 8N1 data=7\n", "unknown line setting"},
      {h + "0.000000000 line 300 raw data=256\n", "bad value"},
      {h + "0.000000000 line 9600 8N1 speed=7\n", "unknown line setting"},
      {h + "0.000000000 break maybe\n", "on or off"},
      {h + "0.000000000 purge\n", "without flags"},
      {h + "0.000000000 purge rxclear sometimes\n", "unknown purge flag"},
      {h + "0.000000000 purge 0x123456789\n", "unknown purge flag"},
      {h + "0.000000000 escape setcts\n", "unknown escape function"},
      {h + "2.000000000 close\n1.999999999 close\n", "line 3: time goes back from 2.000000000 to 1.999999999"},
  };
  for (const Case& c : cases) {
    std::vector<afx::TranscriptEntry> entries;
    std::string error;
    EXPECT_FALSE(afx::Transcript::Parse(c.text, &entries, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
  }
}

// The tap between the host and a device records every kind of event with the clock's time.
TEST(TranscriptTest, TapRecordsWhatCrossesAProvidedDevice) {
  afx::VirtualClock clock;
  afx::ScopedClock scoped(clock);
  ScriptedReceiver::Register("scripted:");
  std::vector<std::string> lines;
  auto recorder = afx::TranscriptRecorder::Create([&lines](const std::string& line) {
    lines.push_back(line);
    return true;
  });
  std::vector<std::pair<bool, std::size_t>> annotated;
  recorder->SetAnnotator([&annotated](bool toDevice, const std::uint8_t*, std::size_t n) {
    annotated.emplace_back(toDevice, n);
    return toDevice ? std::string("request") : std::string();
  });
  recorder->Install();
  clock.AdvanceMs(5);
  {
    DWORD error = 0;
    auto port = afx::OpenSerialDevice("scripted:a", &error);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetLineSettings(Settings(38400, 8, 2, 0)));
    ASSERT_TRUE(port->Purge(afx::PURGE_RXCLEAR));
    const std::string request = std::string(40, 'x') + "\r";  // longer than one line holds
    DWORD n = 0;
    ASSERT_TRUE(port->Write(request.data(), static_cast<DWORD>(request.size()), &n));
    afx::COMMTIMEOUTS t;
    t.ReadTotalTimeoutConstant = 100;
    port->SetTimeouts(t);
    char reply[64] = {};
    ASSERT_TRUE(port->Read(reply, 44, &n));
    EXPECT_EQ(n, 44u);
    ASSERT_TRUE(port->SetBreak(true));
    ASSERT_TRUE(port->EscapeFunction(afx::SETDTR));
  }
  recorder->Uninstall();
  DWORD error = 0;
  auto plain = afx::OpenSerialDevice("scripted:b", &error);
  ASSERT_TRUE(plain);
  plain->Purge(afx::PURGE_TXCLEAR);
  plain.reset();
  afx::UnregisterSerialDeviceProvider("scripted:");

  std::string text;
  for (const auto& l : lines) text += l + "\n";
  std::vector<afx::TranscriptEntry> entries;
  std::string parseError;
  ASSERT_TRUE(afx::Transcript::Parse(text, &entries, &parseError)) << parseError << "\n" << text;
  std::vector<Kind> kinds;
  for (const auto& e : entries) kinds.push_back(e.kind);
  const std::vector<Kind> want = {Kind::Open, Kind::Line, Kind::Purge, Kind::Tx, Kind::Tx,
                                  Kind::Rx,   Kind::Rx,   Kind::Break, Kind::Escape, Kind::Close};
  ASSERT_EQ(kinds, want) << text;
  EXPECT_EQ(std::make_tuple(entries[0].text, entries[0].timeNs, entries[1].line.baudRate),
            std::make_tuple("scripted:a", 5'000'000, 38400u));
  // A write longer than a line goes on in a second; only the first carries the annotation.
  EXPECT_EQ(std::make_tuple(entries[3].bytes.size(), entries[3].text, entries[4].bytes.size(), entries[4].text),
            std::make_tuple(afx::TranscriptRecorder::kBytesPerLine, "request",
                            41 - afx::TranscriptRecorder::kBytesPerLine, ""));
  // The reply arrives the receiver's delay after the request, in two reads of 32 and 12.
  EXPECT_EQ(entries[5].timeNs - entries[4].timeNs, ScriptedReceiver::kReplyDelayNs);
  std::string reply(entries[5].bytes.begin(), entries[5].bytes.end());
  reply.append(entries[6].bytes.begin(), entries[6].bytes.end());
  EXPECT_EQ(reply, "OK " + std::string(40, 'x') + "\r");
  EXPECT_EQ(annotated, (std::vector<std::pair<bool, std::size_t>>{{true, 41}, {false, 44}}));
}
