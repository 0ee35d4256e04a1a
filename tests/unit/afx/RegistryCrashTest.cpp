// A writer killed with SIGKILL at arbitrary moments must leave a store that
// parses and holds, for every write, either its old or its new content.
// QZ_REGISTRY_KILLS sets the number of kills (a handful by default; the
// reliability campaign runs 10,000).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "RegistryTempStore.h"
#include "afx/RegHive.h"
#include "afx/RegReader.h"

namespace {

constexpr int kStaticKeys = 20;

// Long enough that a save takes a while and a torn write could not go unseen.
std::string Payload(unsigned sequence) {
  std::string text = "write " + std::to_string(sequence) + ":";
  while (text.size() < 3000) text += std::to_string(sequence * 2654435761u) + ",";
  return text;
}

int Kills() {
  const char* env = std::getenv("QZ_REGISTRY_KILLS");
  const int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 12;
}

class RegistryCrashTest : public RegistryTempStore {};

TEST_F(RegistryCrashTest, AKilledWriterLeavesEitherTheOldOrTheNewContentOfEachWrite) {
  for (int i = 0; i < kStaticKeys; ++i) {
    HKEY key = Open("HKLM\\Static\\Key" + std::to_string(i));
    ASSERT_EQ(SetString(key, "Value", "static " + std::to_string(i)), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  RegCloseKey(Open("HKLM\\Live"));
  std::mt19937 random(20240601);
  unsigned committed = 0;  // the last write known to have finished
  const int kills = Kills();
  for (int round = 0; round < kills; ++round) {
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(progress[0]);
      afx::SetRegistryPath(store_);
      HKEY key = nullptr;
      if (afx::RegOpenKeyPath("HKLM\\Live", KEY_ALL_ACCESS, &key, true) != ERROR_SUCCESS) ::_exit(2);
      for (unsigned sequence = committed + 1;; ++sequence) {
        const std::string text = Payload(sequence);
        if (SetString(key, "Payload", text) != ERROR_SUCCESS || SetDword(key, "Sequence", sequence) != ERROR_SUCCESS)
          ::_exit(3);
        const char done = 1;
        if (::write(progress[1], &done, 1) != 1) ::_exit(4);
      }
    }
    ::close(progress[1]);
    // Let a few writes finish, then strike somewhere inside the next ones.
    const int settle = static_cast<int>(random() % 3);
    char done = 0;
    int finished = 0;
    for (; finished < settle && ::read(progress[0], &done, 1) == 1; ++finished) {
    }
    for (unsigned spin = random() % 400000; spin > 0; --spin) asm volatile("");
    ::kill(child, SIGKILL);
    while (::read(progress[0], &done, 1) == 1) ++finished;
    ::close(progress[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself, status " << status;

    // Read the file as it lies on disk, not through this process's cache.
    const std::string text = ReadFile(store_);
    afx::RegHive hive;
    std::string error;
    ASSERT_TRUE(afx::RegReader::Apply(text, store_, hive, error)) << "round " << round << ": " << error;
    afx::SetRegistryPath(store_);
    HKEY live = Open("HKLM\\Live", KEY_READ, false);
    const Read payload = Get(live, "Payload"), sequence = Get(live, "Sequence");
    RegCloseKey(live);
    // Each write is old or new: the payload of write n is followed by the
    // sequence number n, so after a kill the two differ by at most one step.
    const unsigned acknowledged = committed + static_cast<unsigned>(finished);
    unsigned seen = 0;
    if (sequence.rc == ERROR_SUCCESS) std::memcpy(&seen, sequence.data.data(), sizeof seen);
    ASSERT_TRUE(seen == acknowledged || seen == acknowledged + 1) << "round " << round << ": sequence " << seen
                                                                  << ", acknowledged " << acknowledged;
    if (seen > 0) {
      const bool payloadOld = payload.data == Payload(seen) + '\0';
      const bool payloadNew = payload.data == Payload(seen + 1) + '\0';
      ASSERT_TRUE(payloadOld || payloadNew) << "round " << round << ": torn payload after write " << seen;
    }
    for (int i = 0; i < kStaticKeys; i += 7) {
      HKEY key = Open("HKLM\\Static\\Key" + std::to_string(i), KEY_READ, false);
      ASSERT_EQ(Get(key, "Value").data, "static " + std::to_string(i) + '\0') << "round " << round;
      RegCloseKey(key);
    }
    committed = seen;
  }
  // The next write clears away the temp files the killed writers left.
  HKEY key = Open("HKLM\\Live");
  ASSERT_EQ(SetDword(key, "Sequence", 0), ERROR_SUCCESS);
  RegCloseKey(key);
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(store_).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
