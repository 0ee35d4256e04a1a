// How soon changes made by others are seen: at once without a snapshot, even
// when a rewrite keeps the file's size and lands in the same clock tick; only
// after the outermost snapshot ends with one.
#include <thread>

#include "RegistryTempStore.h"
#include "afx/RegistrySnapshot.h"

using namespace std::string_literals;

namespace {

class RegistrySnapshotTest : public RegistryTempStore {
 protected:
  // Another program rewriting the file in place.
  void Rewrite(const std::string& value) {
    WriteFile(store_, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Shared]\n\"V\"=\"" + value + "\"\n");
  }
};

TEST_F(RegistrySnapshotTest, RewritesAreSeenAtOnceOrWhenTheOutermostSnapshotEnds) {
  Rewrite("aaaa");
  HKEY key = Open("HKLM\\Shared", KEY_ALL_ACCESS, false);
  for (const char* value : {"bbbb", "cccc", "dddd", "aaaa"}) {  // same size, same tick
    Rewrite(value);
    EXPECT_EQ(Get(key, "V").data, std::string(value) + '\0');
  }
  Rewrite("old");
  {
    afx::RegistrySnapshot outer;
    EXPECT_EQ(Get(key, "V").data, "old\0"s);
    Rewrite("new");
    EXPECT_EQ(Get(key, "V").data, "old\0"s) << "the scan's view changed under it";
    {
      afx::RegistrySnapshot inner;
    }
    EXPECT_EQ(Get(key, "V").data, "old\0"s) << "an inner snapshot ended the outer one";
    // Another thread is not bound by this thread's snapshot.
    std::string seen;
    std::thread([&] { seen = Get(key, "V").data; }).join();
    EXPECT_EQ(seen, "new\0"s);
    // A write works on the file as it is, and the scan sees its own write.
    ASSERT_EQ(SetString(key, "W", "mine"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "W").data, "mine\0"s);
    EXPECT_EQ(Get(key, "V").data, "new\0"s);
  }
  Rewrite("after");
  EXPECT_EQ(Get(key, "V").data, "after\0"s);
  RegCloseKey(key);
}

}  // namespace
