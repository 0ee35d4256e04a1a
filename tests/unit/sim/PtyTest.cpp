// qz7xx-sim end to end: the program serves the receiver on a pseudo-terminal
// in real time, and a host talks to it through the termios backend. Kept to
// one short exchange (well under a second of real time).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "afx/SerialDevice.h"
#include "sim/PtyServer.h"
#include "sim/ReportCodec.h"

extern char** environ;

namespace sim {
namespace {

TEST(PtyTest, QzSimAnswersTheBreakInfoRequestAndOnlyAtTheRightSpeed) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string program = std::string(QZ_BIN_DIR) + "/qz7xx-sim";
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::FILE* in = fdopen(out[0], "r");
  char line[256] = {};
  const bool gotPath = std::fgets(line, sizeof line, in) != nullptr;
  std::string path = line;
  if (!path.empty() && path.back() == '\n') path.pop_back();

  std::string reply, garbled;
  if (gotPath) {
    DWORD error = 0;
    auto device = afx::OpenSerialDevice(path, &error);
    EXPECT_TRUE(device) << path << " error " << error;
    if (device) {
      afx::COMMTIMEOUTS t;
      t.ReadIntervalTimeout = 50;
      t.ReadTotalTimeoutConstant = 600;
      device->SetTimeouts(t);
      auto exchange = [&](DWORD baud) {
        afx::LineSettings s;
        s.baudRate = baud;
        device->SetLineSettings(s);
        const auto request = ReportCodec::Encode(0x6F, {});
        DWORD written = 0;
        device->Write(request.data(), static_cast<DWORD>(request.size()), &written);
        std::uint8_t buf[512];
        DWORD got = 0;
        device->Read(buf, sizeof buf, &got);
        ReportCodec decoder;
        for (DWORD i = 0; i < got; ++i)
          if (decoder.Feed(buf[i]) && decoder.Frame().type == 0x6E)
            return std::string(decoder.Frame().data.begin(), decoder.Frame().data.end());
        return std::string();
      };
      garbled = exchange(19200);
      reply = exchange(9600);
      device->Close();
    }
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  std::fclose(in);
  ASSERT_TRUE(gotPath);
  EXPECT_EQ(garbled, "") << "a host at 19200 is not understood by a receiver at 9600";
  EXPECT_EQ(reply.rfind("PRODUCT,QZ710;PORT,1,9600,", 0), 0u) << reply;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The host's port is handed bytes the way a UART's receive FIFO raises its
// interrupt: never fewer than the level at a time, except the bytes that
// end a burst. The break-info reply is several times the level.
TEST(PtyTest, BytesReachTheHostAFifoLevelAtATimeOrAtTheEndOfABurst) {
  for (const std::size_t level : {std::size_t{14}, std::size_t{32}}) {
    PtyServer server{Profile{}};
    server.SetReceiveFifo(level);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const int fd = ::open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const auto request = ReportCodec::Encode(0x6F, {});
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    ReportCodec decoder;
    std::vector<std::size_t> chunks;
    bool complete = false;
    pollfd p{fd, POLLIN, 0};
    while (!complete && ::poll(&p, 1, 2000) == 1) {
      std::uint8_t buf[4096];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      chunks.push_back(static_cast<std::size_t>(n));
      for (ssize_t i = 0; i < n; ++i)
        if (decoder.Feed(buf[i]) && decoder.Frame().type == 0x6E) complete = true;
    }
    ::close(fd);
    server.Stop();
    ASSERT_TRUE(complete) << "level " << level;
    ASSERT_GT(decoder.Frame().data.size(), 2 * level);
    for (std::size_t i = 0; i + 1 < chunks.size(); ++i)
      EXPECT_GE(chunks[i], level) << "level " << level << ", read " << i << " of " << chunks.size();
  }
}

}  // namespace
}  // namespace sim
