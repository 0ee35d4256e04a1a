// talvern as a person or a script runs it: a real process, its output and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

using testsupport::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class TalvernProcessTest : public testing::Test {
 protected:
  // Runs talvern with `args`, feeding `input` on stdin.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string outFile = dir_.File("out.txt");
    const std::string errFile = dir_.File("err.txt");
    const std::string inFile = dir_.File("in.txt");
    std::ofstream(inFile) << input;
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TALVERN_REGISTRY", dir_.File("registry.reg").c_str(), 1);
      setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
      unsetenv("TALVERN_TRACE");
      freopen(inFile.c_str(), "r", stdin);
      freopen(outFile.c_str(), "w", stdout);
      freopen(errFile.c_str(), "w", stderr);
      std::vector<char*> argv;
      std::string bin = QZ_BIN_DIR "/talvern";
      argv.push_back(bin.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(bin.c_str(), argv.data());
      _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    Result r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.out = Slurp(outFile);
    r.err = Slurp(errFile);
    return r;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  TempDir dir_;
};

}  // namespace

TEST_F(TalvernProcessTest, ListsTheOperationsInOrder) {
  const Result r = Run({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "0\tConfigure ethernet settings\tConfigure the ethernet settings\t0");
  EXPECT_EQ(lines[7].substr(0, 34), "7\tVerify receiver software version");
  EXPECT_EQ(lines[8].substr(0, 17), "8\tView error log\t");

  const Result all = Run({"--ctrl-alt", "list"});
  ASSERT_EQ(all.status, 0);
  const auto ten = Lines(all.out);
  ASSERT_EQ(ten.size(), 10u);
  EXPECT_EQ(ten[9], "9\tWipe CM Blocks\tWipe out CM blocks (0x100C0000 - 0x100FFFFF)\t0");
}

TEST_F(TalvernProcessTest, FirstUseCreatesAWorkingSetup) {
  ASSERT_EQ(Run({"list"}).status, 0);
  const Result q = Run({"reg", "query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Talvern", "/v", "InstallDirectory"});
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_NE(q.out.find("InstallDirectory    REG_SZ    " + dir_.File("data") + "/talvern"), std::string::npos) << q.out;
  EXPECT_EQ(access(dir_.File("data/talvern/Firmware").c_str(), F_OK), 0);
  EXPECT_EQ(access(dir_.File("data/talvern/Devices").c_str(), F_OK), 0);
}

TEST_F(TalvernProcessTest, RegistryCommands) {
  const std::string key = "HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710";
  struct Step {
    std::vector<std::string> args;
    int wantStatus;
    const char* wantOut;  // substring of stdout, or nullptr
  };
  const std::string exported = dir_.File("export.reg");
  const Step steps[] = {
      {{"reg", "add", key, "/v", "MaxBaud", "/t", "REG_DWORD", "/d", "115200"}, 0, "completed successfully"},
      {{"reg", "add", key, "/v", "TurnOffOutputs", "/d", "TRUE"}, 0, nullptr},
      {{"reg", "query", key}, 0, "MaxBaud    REG_DWORD    0x1c200"},
      {{"reg", "query", key, "/v", "TurnOffOutputs"}, 0, "TurnOffOutputs    REG_SZ    TRUE"},
      {{"--batch", "reg", "add", key, "/v", "MaxBaud", "/t", "REG_DWORD", "/d", "9600"}, 1, nullptr},  // exists, no /f
      {{"reg", "add", key, "/v", "MaxBaud", "/t", "REG_DWORD", "/d", "9600", "/f"}, 0, nullptr},
      {{"reg", "add", key, "/v", "Bad", "/t", "REG_DWORD", "/d", "12x"}, 64, nullptr},
      {{"reg", "export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane", exported}, 0, nullptr},
      {{"reg", "delete", key, "/v", "MaxBaud", "/f"}, 0, nullptr},
      {{"reg", "query", key, "/v", "MaxBaud"}, 1, nullptr},
      {{"reg", "delete", "HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices", "/f"}, 0, nullptr},
      {{"reg", "query", key}, 1, nullptr},
      {{"reg", "import", exported}, 0, nullptr},
      {{"reg", "query", key, "/v", "MaxBaud"}, 0, "0x2580"},
      {{"reg", "frobnicate"}, 64, nullptr},
  };
  for (const Step& s : steps) {
    std::string joined;
    for (const auto& a : s.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const Result r = Run(s.args);
    EXPECT_EQ(r.status, s.wantStatus) << r.out << r.err;
    if (s.wantOut) {
      EXPECT_NE(r.out.find(s.wantOut), std::string::npos) << r.out;
    }
  }
}

TEST_F(TalvernProcessTest, AStoreThatDoesNotParseIsReportedAndKept) {
  const std::string bad = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n\"x\"=\"y\"\n";
  std::ofstream(dir_.File("registry.reg")) << bad;
  const Result r = Run({"reg", "add", "HKLM\\SOFTWARE\\Korvane", "/v", "a", "/d", "b"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(dir_.File("registry.reg")), bad);
}

TEST_F(TalvernProcessTest, UsageErrorsAndHelp) {
  struct Case {
    std::vector<std::string> args;
    int want;
    std::vector<std::string> has = {}, lacks = {};  // in stdout, and not
  };
  const Case cases[] = {
      {{}, 64},
      {{"fly"}, 64},
      {{"--answer", "x=maybe", "list"}, 64},
      {{"--set", "912-913=1", "list"}, 64},
      {{"run"}, 64},
      {{"run", "7", "--realtime", "--time-scale", "2"}, 64},
      {{"run", "7", "--port", "0"}, 64},
      {{"run", "7", "--port", "1025"}, 64},
      {{"run", "No such operation"}, 64},
      {{"run", "7", "--replay", "t.txt", "--simulate"}, 64},
      {{"run", "7", "--replay", "t.txt", "--port", "3"}, 64},
      {{"run", "7", "--replay"}, 64},
      {{"help", "fly"}, 64},
      {{"help", "run", "list"}, 64},
      {{"--help"}, 0, {"Exit status: 0 success, 2 cancelled"}},
      {{"help", "ports"}, 0},
      {{"help", "run"}, 0, {"--replay FILE", "Exit status:"}, {"reg query", "--ctrl-alt"}},  // one command's help
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    SCOPED_TRACE((c.args.empty() ? "(none)" : c.args[0]) + "\n" + r.out);
    EXPECT_EQ(r.status, c.want) << r.err;
    for (const auto& text : c.has) EXPECT_NE(r.out.find(text), std::string::npos) << text;
    for (const auto& text : c.lacks) EXPECT_EQ(r.out.find(text), std::string::npos) << text;
  }
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("talvern ", 0), 0u) << version.out;
  EXPECT_EQ(Lines(version.out).size(), 1u);
  EXPECT_NE(version.out.find_first_of("0123456789"), std::string::npos);
}

TEST_F(TalvernProcessTest, JsonEventsOfAFailedRun) {
  // COM 7 is mapped to a device that does not exist: the run fails with one message box.
  ASSERT_EQ(Run({"reg", "add", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "/v", dir_.File("nothing"), "/d", "COM7"}).status,
            0);
  const Result r = Run({"--json", "--batch", "run", "Verify receiver software version", "--port", "7"});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_GE(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "{\"event\":\"text\",\"kind\":0,\"text\":\"Operation to perform:\\r\\n\\tVerify receiver software version\"}");
  bool box = false;
  for (const auto& l : lines)
    if (l.find("{\"event\":\"messagebox\",\"text\":\"DevQZ7xx Version: 5.00b50\\n\\n") == 0) {
      box = true;
      EXPECT_NE(l.find("\"caption\":\"DevQZ710\",\"flags\":65584,\"buttons\":\"ok\",\"answer\":\"ok\",\"source\":\"default\"}"), std::string::npos) << l;
    }
  EXPECT_TRUE(box) << r.out;
  EXPECT_NE(r.out.find("{\"event\":\"status\",\"text\":\"There was a failure with the operation!\"}"), std::string::npos);
  EXPECT_EQ(lines.back().rfind("{\"event\":\"done\",\"outcome\":\"failed\",\"exit_status\":1,", 0), 0u) << lines.back();
  EXPECT_NE(lines.back().find("\"plugin_result\":0,\"status\":\"There was a failure with the operation!\""),
            std::string::npos);
}

TEST_F(TalvernProcessTest, ReplayVerdictDecidesTheExitStatus) {
  const std::string header = "# serial transcript 1\n";
  struct Case {
    const char* name;
    std::string transcript;
    std::string wantErr;
  };
  const Case cases[] = {
      // The operation sets up its port before it writes anything.
      {"deviates", header + "0.000000000 open /dev/ttyUSB0\n0.001000000 tx 02\n",
       "it did `line 9600 8N1` where the recording has 02"},
      {"not a transcript", "hello\n", "line 1: not a serial transcript"},
      {"malformed", header + "0.000000000 tx 2\n", "line 2: expected a byte as two hex digits"},
  };
  for (const Case& c : cases) {
    const std::string file = dir_.File("session.txt");
    std::ofstream(file) << c.transcript;
    const Result r = Run({"--batch", "run", "7", "--replay", file});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.wantErr), std::string::npos) << c.name << ": " << r.err;
  }
  // The replay's COM mapping lasts only as long as the run.
  const Result q = Run({"reg", "query", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"});
  EXPECT_EQ(q.out.find("replay:"), std::string::npos) << q.out;
}

TEST_F(TalvernProcessTest, TranscriptIsTakenOnARealPort) {
  const std::string file = dir_.File("real.txt");
  const Result r = Run({"--batch", "run", "7", "--port", "/dev/null", "--transcript", file});
  EXPECT_EQ(r.err.find("--simulate"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(Slurp(file)).at(0), "# serial transcript 1");
  const Result bad = Run({"--batch", "run", "7", "--port", "3", "--transcript", dir_.File("no/such/dir/t.txt")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("cannot write the transcript"), std::string::npos) << bad.err;
}

TEST_F(TalvernProcessTest, RecordedSessionsReplayAndADeviationIsPinpointed) {
  // Sessions recorded from the virtual receiver: "Verify receiver software
  // version", "Configure ethernet settings" and "View error log", in batch mode.
  struct Session {
    const char* op;
    const char* file;
  };
  const Session sessions[] = {{"7", "op7.txt"}, {"0", "op0.txt"}, {"8", "op8.txt"}};
  for (const Session& s : sessions) {
    const std::string recorded = std::string(QZ_TEST_DATA_DIR) + "/sessions/" + s.file;
    const Result ok = Run({"--batch", "run", s.op, "--replay", recorded});
    EXPECT_EQ(ok.status, 0) << s.file << ": " << ok.err;

    // Change the first byte of the host's second write: the replay must name it.
    std::string text = Slurp(recorded);
    size_t at = text.find(" tx ");
    ASSERT_NE(at, std::string::npos);
    at = text.find(" tx ", at + 1);
    ASSERT_NE(at, std::string::npos);
    text[at + 4] = text[at + 4] == 'F' ? 'E' : 'F';
    const std::string changed = dir_.File(std::string("changed-") + s.file);
    std::ofstream(changed) << text;
    const Result bad = Run({"--batch", "run", s.op, "--replay", changed});
    EXPECT_EQ(bad.status, 1) << s.file;
    EXPECT_NE(bad.err.find("the host left the recording at byte offset"), std::string::npos) << s.file << ": " << bad.err;
  }
}
