// The receiver served on a pseudo-terminal in real time, as qz7xx-sim runs it
// (the program itself is run by the host's process tests).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include "sim/PtyServer.h"
#include "sim/ReportCodec.h"

namespace sim {
namespace {

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
