// talvern as a person or a script runs it: a real process, its output and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>
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
      {{"--retries", "-1", "list"}, 64},
      {{"--retries", "many", "list"}, 64},
      {{"--help"}, 0, {"--yes", "--retries N", "3 stopped at a question", "docs/EVENTS.md"}},
      {{"help", "ports"}, 0},
      {{"help", "run"}, 0, {"--replay FILE", "a unique beginning", "declined", "Exit status:"}, {"reg query", "--ctrl-alt"}},
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

TEST_F(TalvernProcessTest, EveryOperationEndsAsTheHostSawItAndItsEventsFollowTheSchema) {
  const std::string bin = QZ_BIN_DIR;
  // A catalogue with an image container and an S-record file, which takes the
  // monitor route and so meets the receiver's Data Logging question.
  const std::string fw = dir_.File("data/talvern/Firmware");
  ASSERT_EQ(Run({"list"}).status, 0);
  ASSERT_EQ(std::system((bin + "/qz7xx-mkimg timg " + fw + "/fw.timg --platform KELVOR --version 420 >/dev/null && " +
                         bin + "/qz7xx-mkimg srec " + fw + "/fw.srec --platform KELVOR --version 420 --size 4096 >/dev/null")
                            .c_str()),
            0);
  for (const auto& [entry, file] : {std::pair{"Image 4.20", "fw.timg"}, std::pair{"SREC 4.20", "fw.srec"}}) {
    const std::string key = std::string("HKLM\\SOFTWARE\\Korvane\\Talvern\\Firmware\\QZ710 ") + entry;
    ASSERT_EQ(Run({"reg", "add", key, "/v", "Description", "/d", entry}).status, 0);
    ASSERT_EQ(Run({"reg", "add", key, "/v", "DeviceType", "/d", "QZ710"}).status, 0);
    ASSERT_EQ(Run({"reg", "add", key, "/v", "FirmwarePath", "/d", fw + "/" + file}).status, 0);
    ASSERT_EQ(Run({"reg", "add", key, "/v", "OriginalInstall", "/t", "REG_DWORD", "/d", "1"}).status, 0);
  }
  // COM 7 is mapped to a device that does not exist.
  ASSERT_EQ(Run({"reg", "add", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "/v", dir_.File("nothing"), "/d", "COM7"}).status,
            0);
  std::ofstream(dir_.File("stranger.txt")) << "product = QZ999\n";
  std::ofstream(dir_.File("errors.txt"))
      << "errorlog.entry = 0x10,1,2,0x02440000,0x20000000,1,0,412,2016,3,7,3600000,2000\n"
         "errorlog.entry = 0x11,2,2,0x02440010,0x20000000,1,0,412,2016,3,8,3600000,2001\n";

  const std::string sim = "--simulate";
  const std::string stranger = "--simulate=" + dir_.File("stranger.txt");
  const std::string errors = "--simulate=" + dir_.File("errors.txt");
  const char* resetFrame = "report 0x58";        // factory reset, and the reset after new Ethernet settings
  const char* writeSettings = "report 0xAE, 22 bytes";
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after --json
    int status;
    const char* outcome;
    std::vector<std::string> has = {}, lacks = {};  // in the events
    std::vector<std::string> sent = {}, unsent = {};  // frames in the transcript
  };
  const Case cases[] = {
      {"ethernet", {"--batch", "run", "0", sim}, 0, "success", {"\"rows\":{\"913\":[[\"DHCP\"],[\"Static IP address\"]]}"},
       {}, {writeSettings, resetFrame}},
      {"ethernet: a port the dialog refuses", {"--batch", "--set", "912:921=80a", "run", "0", sim}, 64, "usage",
       {"refused --set 912:921=80a: 80a is not a valid port."}, {}, {}, {writeSettings, resetFrame}},
      {"ethernet: a row the combo box lacks", {"--batch", "--set", "912:913=Bogus", "run", "0", sim}, 64, "usage",
       {"it holds no row \\\"Bogus\\\" (rows: DHCP, Static IP address)"}, {}, {}, {writeSettings}},
      {"ethernet: an address no address control holds", {"--batch", "--set", "912:914=999.1.1.1", "run", "0", sim}, 64,
       "usage", {"--set 912:914=999.1.1.1: control 914: an address control"}, {"\"event\":\"text\""}},
      {"ethernet: a template the plug-in lacks", {"--batch", "--set", "999:1=x", "run", "0", sim}, 64, "usage",
       {"the plug-in has no dialog template 999"}, {"\"event\":\"status\""}},
      {"ethernet: a dialog that never appears", {"--batch", "--set", "940:941=450000", "run", "0", sim}, 64, "usage",
       {"{\"event\":\"warning\",\"text\":\"--set 940:941=450000: dialog 940 never appeared"}, {}, {writeSettings}},
      {"radio", {"--batch", "run", "1", sim}, 0, "success", {"\"template\":940"}},
      {"modem", {"--batch", "run", "2", sim}, 1, "failed", {"[715]"}},
      {"update from an image",
       {"--batch", "--answer", "Ensure all files=ok", "--set", "130:1002=Image 4.20", "run", "3", sim}, 0, "success",
       {"\"rows\":{\"1002\":[[\"", "\"1002\":\"Image 4.20\""}},
      {"update: Data Logging unanswered", {"--batch", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 3, "stopped",
       {"\"answer\":\"cancel\",\"source\":\"stopped\",\"options\":[\"--answer 'Ensure all files have been downloaded=ok'\"",
        "\"status\":\"The software was updated successfully.\""}},
      {"update: Data Logging declined",
       {"--batch", "--answer", "Ensure all files=cancel", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 2, "declined",
       {"\"questions\":[{\"text\":\"Ensure all files"}},
      {"update: Data Logging accepted", {"--batch", "--yes", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 0,
       "success", {"\"answer\":\"ok\",\"source\":\"yes\""}},
      {"radio update: nothing to choose", {"--batch", "run", "4", sim}, 2, "cancelled",
       {"{\"event\":\"warning\",\"text\":\"Talvern - GPS Software Selection (130) refused its values as shown"}},
      {"reset unanswered sends nothing", {"--batch", "run", "5", sim}, 3, "stopped",
       {"\"options\":[\"--answer 'WARNING!! This operation will stop=yes'\""}, {}, {}, {resetFrame}},
      {"reset with --yes", {"--batch", "--yes", "run", "5", sim}, 0, "success", {}, {}, {resetFrame}},
      {"reset declined", {"--batch", "--answer", "Continue?=no", "run", "5", sim}, 2, "declined",
       {"\"source\":\"answer\""}, {}, {}, {resetFrame}},
      {"clone upload without a clone file", {"--batch", "run", "6", sim}, 1, "failed", {}},
      {"version", {"--batch", "run", "7", sim}, 0, "success", {"\"template\":106"}},
      {"version on a port that is not there", {"--batch", "run", "Verify receiver software version", "--port", "7"}, 1,
       "failed",
       {"{\"event\":\"text\",\"kind\":0,\"text\":\"Operation to perform:\\r\\n\\tVerify receiver software version\"}",
        "\"caption\":\"DevQZ710\",\"flags\":65584,\"buttons\":\"ok\",\"answer\":\"ok\",\"source\":\"default\"}",
        "\"plugin_result\":0,\"status\":\"There was a failure with the operation!\"", "{\"event\":\"hint\""}},
      {"error log rows reach the events", {"--batch", "run", "8", errors}, 0, "success",
       {"\"template\":138", "\"rows\":{\"1041\":[[\"", "\"],[\""}},
      {"an unrecognised receiver is looked for a bounded number of times",
       {"--ctrl-alt", "--batch", "--yes", "--retries", "2", "run", "9", stranger}, 3, "stopped",
       {"\"answer\":\"retry\",\"source\":\"default\"", "\"answer\":\"cancel\",\"source\":\"retry-limit\""}},
  };
  const std::string events = dir_.File("events.jsonl");
  std::string all;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string transcript = dir_.File("transcript.txt");
    std::remove(transcript.c_str());
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.args.back().rfind("--simulate", 0) == 0) args.insert(args.end(), {"--port", "2", "--transcript", transcript});
    const Result r = Run(args);
    all += r.out;
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    const auto lines = Lines(r.out);
    ASSERT_FALSE(lines.empty()) << r.err;
    EXPECT_EQ(lines.back().rfind(std::string("{\"event\":\"done\",\"outcome\":\"") + c.outcome + "\",\"exit_status\":" +
                                     std::to_string(c.status) + ",", 0),
              0u)
        << lines.back();
    for (const auto& text : c.has) EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    for (const auto& text : c.lacks) EXPECT_EQ(r.out.find(text), std::string::npos) << text;
    std::string sent;
    for (const auto& line : Lines(Slurp(transcript)))
      if (line.find(" tx ") != std::string::npos) sent += line + "\n";
    for (const auto& frame : c.sent) EXPECT_NE(sent.find(frame), std::string::npos) << frame;
    for (const auto& frame : c.unsent) EXPECT_EQ(sent.find(frame), std::string::npos) << frame << "\n" << sent;
  }
  all += Run({"--json", "list"}).out + Run({"--json", "ports"}).out;
  std::ofstream(events) << all;
  // Debian's interpreter carries python3-jsonschema; another on the PATH may not.
  const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  const std::string source = std::string(QZ_TEST_DATA_DIR) + "/../..";
  const std::string check = python + " " + source + "/tests/support/validate_events.py " + source +
                            "/docs/events.schema.json " + events + " > " + dir_.File("schema.txt") + " 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0) << Slurp(dir_.File("schema.txt"));
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
