// A receiver named by a by-id style link is found again after it re-enumerates
// under another device node: every open follows the link as it is then.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "RegistryTempStore.h"
#include "afx/SerialDevice.h"
#include "support/PtyPair.h"

namespace {

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
  testsupport::PtyPair before, after;
  ASSERT_FALSE(before.Slave().empty());
  ASSERT_FALSE(after.Slave().empty());
  const std::string link = dir_ + "/serial/by-id/usb-Korvane_QZ710_QZ0012345-if00";
  std::filesystem::create_directories(dir_ + "/serial/by-id");
  std::filesystem::create_symlink(before.Slave(), link);
  const int com = afx::MapDevicePathToComPort(link);
  ASSERT_GT(com, 0);
  const std::string comName = "\\\\.\\COM" + std::to_string(com);
  EXPECT_EQ(afx::ResolveSerialDeviceName(comName), link);  // the link itself is kept, not where it led

  struct Step {
    const char* name;
    std::string target;  // "" : the link is gone (the receiver is restarting)
    std::string port;    // opened by its link or by its COM number
    bool opens;
    const testsupport::PtyPair* receives;
  };
  const Step steps[] = {
      {"first enumeration, by link", before.Slave(), link, true, &before},
      {"first enumeration, by COM number", before.Slave(), comName, true, &before},
      {"restarting", "", comName, false, nullptr},
      {"re-enumerated, by COM number", after.Slave(), comName, true, &after},
      {"re-enumerated, by link", after.Slave(), link, true, &after},
  };
  for (const Step& s : steps) {
    std::filesystem::remove(link);
    if (!s.target.empty()) std::filesystem::create_symlink(s.target, link);
    EXPECT_EQ(SendThrough(s.port, s.name), s.opens) << s.name;
    // Only one side was written to, so once its bytes are in, the other has none coming.
    if (s.receives) {
      EXPECT_EQ(s.receives->Receive(std::strlen(s.name)), s.name);
    }
    EXPECT_EQ(before.Receive(1, 0), "") << s.name;
    EXPECT_EQ(after.Receive(1, 0), "") << s.name;
    const afx::SerialOpenFailure failure = afx::LastSerialOpenFailure(s.port);
    EXPECT_EQ(failure.path, link) << s.name;
    EXPECT_EQ(failure.err, s.opens ? 0 : ENOENT) << s.name;
  }
}
