// A receiver named by a by-id style link is found again after it re-enumerates
// under another device node: every open follows the link as it is then.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "RegistryTempStore.h"
#include "afx/SerialDevice.h"

namespace {

struct Pty {
  int master = -1;
  std::string name;
  Pty() {
    int slave = -1;
    char buffer[256];
    if (openpty(&master, &slave, buffer, nullptr, nullptr) == 0) {
      name = buffer;
      ::close(slave);
    }
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
  // Blocks until `count` bytes have arrived (they were written before this is called).
  std::string Take(size_t count) const {
    std::string got;
    while (got.size() < count) {
      pollfd p{master, POLLIN, -1};
      if (::poll(&p, 1, -1) <= 0) break;
      char c[64];
      const ssize_t n = ::read(master, c, std::min(sizeof c, count - got.size()));
      if (n <= 0) break;
      got.append(c, static_cast<size_t>(n));
    }
    return got;
  }
  // Whether anything is waiting now.
  bool Idle() const {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0 || !(p.revents & POLLIN);  // a master without a slave reports hang-up
  }
};

class StableIdentityTest : public RegistryTempStore {};

bool SendThrough(const std::string& name, const std::string& text) {
  DWORD error = 0;
  auto port = afx::OpenSerialDevice(name, &error);
  if (!port) return false;
  DWORD n = 0;
  return port->Write(text.data(), static_cast<DWORD>(text.size()), &n) && n == text.size();
}

}  // namespace

TEST_F(StableIdentityTest, ByIdLinkIsFollowedAgainAtEveryOpen) {
  Pty before, after;
  ASSERT_FALSE(before.name.empty());
  ASSERT_FALSE(after.name.empty());
  const std::string link = dir_ + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00";
  std::filesystem::create_directories(dir_ + "/serial/by-id");
  std::filesystem::create_symlink(before.name, link);
  const int com = afx::MapDevicePathToComPort(link);
  ASSERT_GT(com, 0);
  const std::string comName = "\\\\.\\COM" + std::to_string(com);
  EXPECT_EQ(afx::ResolveSerialDeviceName(comName), link);  // the link itself is kept, not where it led

  struct Step {
    const char* name;
    std::string target;  // "" : the link is gone (the receiver is restarting)
    std::string port;    // opened by its link or by its COM number
    bool opens;
    const Pty* receives;
  };
  const Step steps[] = {
      {"first enumeration, by link", before.name, link, true, &before},
      {"first enumeration, by COM number", before.name, comName, true, &before},
      {"restarting", "", comName, false, nullptr},
      {"re-enumerated, by COM number", after.name, comName, true, &after},
      {"re-enumerated, by link", after.name, link, true, &after},
  };
  for (const Step& s : steps) {
    std::filesystem::remove(link);
    if (!s.target.empty()) std::filesystem::create_symlink(s.target, link);
    EXPECT_EQ(SendThrough(s.port, s.name), s.opens) << s.name;
    // Only one side was written to, so once its bytes are in, the other has none coming.
    if (s.receives) {
      EXPECT_EQ(s.receives->Take(std::strlen(s.name)), s.name);
    }
    EXPECT_TRUE(before.Idle()) << s.name;
    EXPECT_TRUE(after.Idle()) << s.name;
    const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure(s.port);
    EXPECT_EQ(failure.path, link) << s.name;
    EXPECT_EQ(failure.err, s.opens ? 0 : ENOENT) << s.name;
  }
}
