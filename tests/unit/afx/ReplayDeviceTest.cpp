// Replays of recorded exchanges: the recorded answers come back at their
// recorded delays, and the first host byte or action that differs is named.
#include "afx/ReplayDevice.h"

#include <gtest/gtest.h>

#include "afx/Clock.h"
#include "afx/ReplaySession.h"
#include "afx/TranscriptRecorder.h"
#include "support/ScriptedReceiver.h"
#include "support/TempDir.h"

namespace {

// What a host does in these tests: requests at one speed, requests at a
// second speed, then a reopen (as after a receiver restart) and more requests.
struct Script {
  std::vector<std::string> first = {"VER\r"};
  DWORD secondBaud = 115200;
  std::vector<std::string> second = {"GO\r"};
  bool reopen = true;
  std::vector<std::string> after = {"BYE\r"};
};

struct Outcome {
  std::string replies;
  std::vector<std::int64_t> replyDelaysNs;  // from the end of each request to its whole answer
  bool ok = true;
};

afx::LineSettings Speed(DWORD baud) {
  afx::LineSettings s;
  s.baudRate = baud;
  return s;
}

bool Ask(afx::SerialDevice& port, const std::string& request, Outcome* out) {
  DWORD n = 0;
  if (!port.Write(request.data(), static_cast<DWORD>(request.size()), &n) || n != request.size()) return false;
  const std::int64_t sent = afx::GetClock().NowNs();
  afx::COMMTIMEOUTS t;
  t.ReadTotalTimeoutConstant = 500;
  port.SetTimeouts(t);
  std::string reply(3 + request.size(), '\0');
  if (!port.Read(reply.data(), static_cast<DWORD>(reply.size()), &n)) return false;
  reply.resize(n);
  out->replies += reply;
  out->replyDelaysNs.push_back(afx::GetClock().NowNs() - sent);
  return true;
}

Outcome Converse(const std::string& path, const Script& script) {
  Outcome out;
  DWORD error = 0;
  auto port = afx::OpenSerialDevice(path, &error);
  if (!port) return Outcome{"", {}, false};
  out.ok = port->SetLineSettings(Speed(9600));
  for (const auto& r : script.first) out.ok = out.ok && Ask(*port, r, &out);
  out.ok = out.ok && port->Purge(afx::PURGE_RXCLEAR) && port->SetLineSettings(Speed(script.secondBaud));
  for (const auto& r : script.second) out.ok = out.ok && Ask(*port, r, &out);
  port.reset();
  if (!out.ok || !script.reopen) return out;
  afx::GetClock().SleepMs(1500);  // the receiver restarts
  port = afx::OpenSerialDevice(path, &error);
  if (!port) return Outcome{out.replies, out.replyDelaysNs, false};
  for (const auto& r : script.after) out.ok = out.ok && Ask(*port, r, &out);
  return out;
}

class ReplayDeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    ScriptedReceiver::Register("scripted:");
    // The recording: the default script against the scripted receiver.
    auto recorder = afx::TranscriptRecorder::Create([this](const std::string& line) {
      text_ += line + "\n";
      return true;
    });
    recorder->Install();
    recorded_ = Converse("scripted:rx", Script());
    recorder->Uninstall();
    ASSERT_TRUE(recorded_.ok);
    ASSERT_EQ(recorded_.replies, "OK VER\rOK GO\rOK BYE\r");
    std::string error;
    ASSERT_TRUE(afx::Transcript::Parse(text_, &entries_, &error)) << error;
  }
  void TearDown() override { afx::UnregisterSerialDeviceProvider("scripted:"); }

  // The recording, or its first `keep` entries (a recording cut short).
  std::shared_ptr<afx::ReplaySession> Session(std::size_t keep = SIZE_MAX) {
    std::vector<afx::TranscriptEntry> entries = entries_;
    if (keep < entries.size()) entries.resize(keep);
    auto session = afx::ReplaySession::Create(entries, "session.txt");
    session->Install();
    return session;
  }

  afx::VirtualClock clock_;
  afx::ScopedClock scoped_{clock_};
  std::string text_;
  std::vector<afx::TranscriptEntry> entries_;
  Outcome recorded_;
};

}  // namespace

TEST_F(ReplayDeviceTest, ServesTheRecordedAnswersAtTheirRecordedDelays) {
  auto session = Session();
  const Outcome replayed = Converse(session->DevicePath(), Script());
  EXPECT_TRUE(replayed.ok);
  EXPECT_EQ(replayed.replies, recorded_.replies);
  EXPECT_EQ(replayed.replyDelaysNs, recorded_.replyDelaysNs);
  EXPECT_EQ(session->Deviation() + session->Unfinished(), "");
}

TEST_F(ReplayDeviceTest, OpensOnlyItsOwnRecordingAndOneAtATime) {
  auto session = Session();
  DWORD error = 0, second = 0;
  EXPECT_FALSE(afx::OpenSerialDevice("replay:other.txt", &error));
  auto first = afx::OpenSerialDevice(session->DevicePath(), &second);
  ASSERT_TRUE(first);
  EXPECT_FALSE(afx::OpenSerialDevice(session->DevicePath(), &second));
  EXPECT_EQ(std::make_pair(error, second), std::make_pair(DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}));
  EXPECT_EQ(session->Deviation(), "");
}

TEST_F(ReplayDeviceTest, NamesTheFirstPlaceWhereTheHostDeviates) {
  // The recording's lines: 1 header, 2 open, 3 line 9600, 4 tx "VER\r", 5 rx, 6 purge,
  // 7 line 115200, 8 tx "GO\r", 9 rx, 10 close, 11 open, 12 tx "BYE\r", 13 rx, 14 close.
  struct Case {
    const char* name;
    Script script;
    std::vector<std::string> want;  // fragments of the message
    std::size_t keep = SIZE_MAX;
  };
  Script changedFirst;
  changedFirst.first = {"VEX\r"};
  Script changedSecond;
  changedSecond.second = {"GA\r"};
  Script otherSpeed;
  otherSpeed.secondBaud = 57600;
  Script extraRequest;
  extraRequest.second = {"GO\r", "GO\r"};
  Script tooLong;
  tooLong.after = {"BYE\r", "X"};
  const Case cases[] = {
      {"changed byte", changedFirst,
       {"replay of session.txt: the host left the recording at byte offset 2 of its output",
        "it wrote 58 where the recording has 52 (line 4, recorded at ", ", byte 3 of that line"}},
      {"changed byte after a speed change", changedSecond, {"byte offset 5 ", "it wrote 41 where the recording has 4F (line 8"}},
      {"other speed", otherSpeed,
       {"byte offset 4 ", "it did `line 57600 8N1` where the recording has `line 115200 8N1` (line 7"}},
      {"extra request", extraRequest, {"byte offset 7 ", "it wrote 47 where the recording has `close` (line 10"}},
      {"more than recorded", tooLong, {"byte offset 11 ", "it wrote 58 where the recording has `close` (line 14"}},
      {"past the end", tooLong, {"byte offset 11 ", "it wrote 58 where the recording has nothing more"}, 12},
  };
  for (const Case& c : cases) {
    auto session = Session(c.keep);
    const Outcome replayed = Converse(session->DevicePath(), c.script);
    EXPECT_FALSE(replayed.ok) << c.name;
    const std::string message = session->Deviation();
    for (const auto& fragment : c.want) EXPECT_NE(message.find(fragment), std::string::npos) << c.name << ": " << message;
    // Nothing goes on once the host has left the recording.
    DWORD error = 0;
    EXPECT_FALSE(afx::OpenSerialDevice(session->DevicePath(), &error)) << c.name;
  }
}

TEST_F(ReplayDeviceTest, SaysWhatTheHostLeftUndone) {
  Script early;
  early.reopen = false;
  auto session = Session();
  EXPECT_TRUE(Converse(session->DevicePath(), early).ok);
  EXPECT_EQ(session->Deviation(), "");
  EXPECT_EQ(session->Unfinished(),
            "replay of session.txt: the host stopped before the recording did; it continues at line 11 with `open "
            "scripted:rx` and 2 more host actions");
}

TEST_F(ReplayDeviceTest, ReplaysARecordingReadBackFromAFile) {
  TempDir dir;
  const std::string path = dir.File("rec.txt");
  std::string error;
  auto recorder = afx::TranscriptRecorder::Create(path, &error);
  ASSERT_TRUE(recorder) << error;
  recorder->Install();
  ASSERT_TRUE(Converse("scripted:file", Script()).ok);
  recorder->Uninstall();
  recorder.reset();
  auto session = afx::ReplaySession::Load(path, &error);
  ASSERT_TRUE(session) << error;
  session->Install();
  EXPECT_EQ(Converse("replay:" + path, Script()).replies, recorded_.replies);
  EXPECT_EQ(session->Deviation(), "");
  EXPECT_FALSE(afx::ReplaySession::Load(dir.File("missing.txt"), &error));
  EXPECT_NE(error.find("missing.txt: cannot be read"), std::string::npos) << error;
}
