// talvern as a person or a script runs it: a real process, its output and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

using testsupport::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// One run of talvern and what it must give.
struct Step {
  std::vector<std::string> args;
  int status;
  std::vector<std::string> out = {};  // parts of stdout; "!part": a part that must not be there
  std::vector<std::string> err = {};  // parts of stderr, the same way
  std::string input = {};             // what a person types
};

const char* const kSerialComm = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char* const kTalvernKey = "HKLM\\SOFTWARE\\Korvane\\Talvern";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Each part is in `text`, or for "!part" is not.
void ExpectParts(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& p : parts) {
    const bool absent = p[0] == '!';
    EXPECT_EQ(Has(text, absent ? p.substr(1) : p), !absent) << p << "\n" << text;
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TalvernProcessTest : public testing::Test {
 protected:
  // Runs talvern with `args`, feeding `input` on stdin.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string outFile = dir_.File("out.txt"), errFile = dir_.File("err.txt"), inFile = dir_.File("in.txt");
    std::ofstream(inFile) << input;
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TALVERN_REGISTRY", dir_.File("registry.reg").c_str(), 1);
      setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
      unsetenv("TALVERN_TRACE");
      freopen(inFile.c_str(), "r", stdin);
      freopen(outFile.c_str(), "w", stdout);
      freopen(errFile.c_str(), "w", stderr);
      std::string bin = QZ_BIN_DIR "/talvern";
      std::vector<std::string> copy = args;
      std::vector<char*> argv = {bin.data()};
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(bin.c_str(), argv.data());
      _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, Slurp(outFile), Slurp(errFile)};
  }
  // Runs each step in order and checks what it gave. A usage error of
  // talvern's own is one line, not the help that would scroll it away.
  void Check(const std::vector<Step>& steps, bool usageOnOneLine = true) {
    for (const Step& s : steps) {
      std::string joined;
      for (const auto& a : s.args) joined += a + " ";
      SCOPED_TRACE(joined);
      const Result r = Run(s.args, s.input);
      EXPECT_EQ(r.status, s.status) << r.out << r.err;
      if (usageOnOneLine && s.status == 64) {
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
      }
      ExpectParts(r.out, s.out);
      ExpectParts(r.err, s.err);
    }
  }
  // Writes a firmware image with qz7xx-mkimg; its path.
  std::string Image(const std::string& name, const std::string& how = "timg", const std::string& version = "480") {
    const std::string path = dir_.File(name);
    const std::string command = std::string(QZ_BIN_DIR) + "/qz7xx-mkimg " + how.substr(0, 4) + " " + path +
                                " --platform KELVOR --version " + version + how.substr(4) + " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return path;
  }
  std::string Write(const std::string& name, const std::string& text) { return dir_.Write(name, text); }
  // What docs/events.schema.json finds wrong with these events; "" when nothing.
  std::string SchemaProblems(const std::string& events) {
    std::ofstream(dir_.File("events.jsonl")) << events;
    // Debian's interpreter carries python3-jsonschema; another on the PATH may not.
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string source = std::string(QZ_TEST_DATA_DIR) + "/../..";
    const std::string check = python + " " + source + "/tests/support/validate_events.py " + source +
                              "/docs/events.schema.json " + dir_.File("events.jsonl") + " > " + dir_.File("schema.txt") +
                              " 2>&1";
    return std::system(check.c_str()) == 0 ? "" : Slurp(dir_.File("schema.txt"));
  }
  TempDir dir_;
};

}  // namespace

TEST_F(TalvernProcessTest, CommandsUsageErrorsAndHelp) {
  const std::string key = "HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices\\QZ710";
  const std::string exported = dir_.File("export.reg");
  Check({
      {{"list"}, 0,
       {"0\tConfigure ethernet settings\tConfigure the ethernet settings\t0\n", "\n7\tVerify receiver software version",
        "\n8\tView error log\t", "!\n9\t"}},
      {{"--ctrl-alt", "list"}, 0, {"\n9\tWipe CM Blocks\tWipe out CM blocks (0x100C0000 - 0x100FFFFF)\t0\n"}},
      {{}, 64, {}, {"talvern: no command given (see talvern --help)"}},
      {{"fly"}, 64, {}, {"talvern: unknown command fly (see talvern --help)"}},
      {{"run", "7", "--bogus"}, 64, {}, {"talvern: unknown run option --bogus (see talvern help run)"}},
      {{"run", "7", "--timeout", "soon"}, 64, {}, {"expects seconds (0 for no limit)"}},
      {{"run", "7", "--stop-wait", "-1"}, 64, {}, {"--stop-wait expects seconds"}},
      {{"--batch", "run", "7", "--verify", "--simulate"}, 64, {}, {"--verify reads the version back after \"Load GPS software\" only"}},
      {{"run", "7", "--ports", "1,2", "--port", "1"}, 64, {}, {"port 1 is named twice"}},
      {{"run", "7", "--ports", "1,,2"}, 64},
      {{"run", "7", "--ports", "1,2", "--replay", "t.txt"}, 64, {}, {"--replay plays one recording on one port"}},
      {{"run", "7", "--port", "1", "--simulate=2:p.txt"}, 64, {}, {"names a port that no --port or --ports names"}},
      {{"run", "No such operation", "--ports", "1,2", "--simulate"}, 64},
      {{"--key", "130:1002=home", "list"}, 64, {}, {"--key expects DLG:CTRL=insert or DLG:CTRL=delete"}},
      {{"firmware"}, 64, {}, {"talvern: firmware needs list, add FILE or remove NAME (see talvern help firmware)"}},
      {{"firmware", "add"}, 64, {}, {"firmware add takes one FILE"}},
      {{"firmware", "list", "--description", "x"}, 64},
      {{"--answer", "x=maybe", "list"}, 64},
      {{"--set", "912-913=1", "list"}, 64},
      {{"--retries", "-1", "list"}, 64},
      {{"run"}, 64},
      {{"run", "7", "--realtime", "--time-scale", "2"}, 64},
      {{"run", "7", "--port", "0"}, 64},
      {{"run", "No such operation"}, 64},
      {{"run", "7", "--replay", "t.txt", "--simulate"}, 64},
      {{"run", "7", "--replay"}, 64},
      {{"help", "fly"}, 64},
      {{"help", "firmware"}, 0, {"firmware add FILE [--description TEXT]", "Exit status:"}},
      {{"--help"}, 0, {"usage: ", "--yes", "--retries N", "3 stopped at a question", "docs/EVENTS.md"}},
      {{"help", "ports"}, 0},
      {{"help", "run"}, 0, {"--replay FILE", "a unique beginning", "declined", "Exit status:", "!reg query", "!--ctrl-alt"}},
      // The registry commands, one after the other on the same store.
      {{"reg", "add", key, "/v", "Probe", "/t", "REG_DWORD", "/d", "115200"}, 0, {"completed successfully"}},
      {{"reg", "add", key, "/v", "TurnOffOutputs", "/d", "TRUE", "/f"}, 0},
      {{"reg", "query", key}, 0, {"Probe    REG_DWORD    0x1c200"}},
      {{"--batch", "reg", "add", key, "/v", "MaxBaud", "/t", "REG_DWORD", "/d", "9600"}, 1},  // exists, no /f
      {{"reg", "add", key, "/v", "MaxBaud", "/t", "REG_DWORD", "/d", "9600", "/f"}, 0},
      {{"reg", "add", key, "/v", "Bad", "/t", "REG_DWORD", "/d", "12x"}, 64},
      {{"reg", "export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane", exported}, 0},
      {{"reg", "delete", "HKLM\\SOFTWARE\\Korvane\\Talvern\\Devices", "/f"}, 0},
      {{"reg", "query", key}, 1},
      {{"reg", "import", exported}, 0},
      {{"reg", "query", key, "/v", "MaxBaud"}, 0, {"0x2580"}},
      {{"reg", "frobnicate"}, 64},
  });
  // Every program's --help is an answer, not an error.
  for (const char* program : {"qz7xx-sim", "qz7xx-mkimg"}) {
    const std::string command = std::string(QZ_BIN_DIR) + "/" + program + " --help > " + dir_.File("help.txt");
    EXPECT_EQ(std::system(command.c_str()), 0) << program;
    EXPECT_EQ(Slurp(dir_.File("help.txt")).rfind("usage: ", 0), 0u) << program;
  }
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("talvern ", 0), 0u) << version.out;
  EXPECT_EQ(Lines(version.out).size(), 1u);
  EXPECT_NE(version.out.find_first_of("0123456789"), std::string::npos);
}

TEST_F(TalvernProcessTest, FirstUseCreatesAWorkingSetupAndAStoreItCannotUseIsLeftAlone) {
  const std::string devices = std::string(kTalvernKey) + "\\Devices\\QZ710";
  Check({
      {{"reg", "query", kTalvernKey, "/v", "InstallDirectory"}, 0, {"InstallDirectory    REG_SZ    " + dir_.File("data") + "/talvern"}},
      // The keys an installer makes, with the values the plug-in takes when nothing was chosen.
      {{"reg", "query", std::string(kTalvernKey) + "\\Firmware"}, 0},
      {{"reg", "query", devices}, 0, {"TurnOffOutputs    REG_SZ    FALSE", "MaxBaud    REG_DWORD    0x1c200",
                                      "UploadCloneFileName    REG_SZ    \n", "InstallCloneFile_WiFi    REG_SZ    FALSE"}},
  });
  EXPECT_EQ(access(dir_.File("data/talvern/Firmware").c_str(), F_OK), 0);
  EXPECT_EQ(access(dir_.File("data/talvern/Devices").c_str(), F_OK), 0);

  const std::string own = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane]\n\n";
  Write("registry.reg", own);
  ASSERT_EQ(Run({"list"}).status, 0);
  EXPECT_EQ(Slurp(dir_.File("registry.reg")), own);
  // A store that does not parse is reported with its line and kept as it is.
  const std::string bad = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n\"x\"=\"y\"\n";
  Write("registry.reg", bad);
  Check({{{"reg", "add", "HKLM\\SOFTWARE\\Korvane", "/v", "a", "/d", "b"}, 1, {}, {"line 3"}}});
  EXPECT_EQ(Slurp(dir_.File("registry.reg")), bad);
}

TEST_F(TalvernProcessTest, EveryOperationEndsAsTheHostSawItAndItsEventsFollowTheSchema) {
  // A catalogue with an image container and an S-record file, which takes the
  // monitor route and so meets the receiver's Data Logging question; COM 7 is
  // mapped to a device that does not exist.
  Check({
      {{"firmware", "add", Image("fw.timg", "timg", "420"), "--description", "Image 4.20"}, 0},
      {{"firmware", "add", Image("fw.srec", "srec --size 4096", "420"), "--description", "SREC 4.20"}, 0},
      {{"reg", "add", kSerialComm, "/v", dir_.File("nothing"), "/d", "COM7"}, 0},
  });
  const std::string sim = "--simulate";
  const std::string stranger = "--simulate=" + Write("stranger.txt", "product = QZ999\n");
  const std::string errors = "--simulate=" + Write("errors.txt",
      "errorlog.entry = 0x10,1,2,0x02440000,0x20000000,1,0,412,2016,3,7,3600000,2000\n"
      "errorlog.entry = 0x11,2,2,0x02440010,0x20000000,1,0,412,2016,3,8,3600000,2001\n");
  const std::string keep = "--simulate=" + Write("keep.txt", "update.keep_version = true\n");
  const std::string resetFrame = "report 0x58";  // factory reset, and the reset after new Ethernet settings
  const std::string writeSettings = "report 0xAE, 22 bytes";
  auto no = [](const std::string& part) { return "!" + part; };
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after --json
    int status;
    const char* outcome;
    std::vector<std::string> events = {};  // parts of the events; "!part": not there
    std::vector<std::string> sent = {};    // frames in the transcript, the same way
  };
  const Case cases[] = {
      {"ethernet", {"--batch", "run", "0", sim}, 0, "success", {"\"rows\":{\"913\":[[\"DHCP\"],[\"Static IP address\"]]}"},
       {writeSettings, resetFrame}},
      {"ethernet: a port the dialog refuses", {"--batch", "--set", "912:921=80a", "run", "0", sim}, 64, "usage",
       {"refused --set 912:921=80a: 80a is not a valid port."}, {no(writeSettings), no(resetFrame)}},
      {"ethernet: a row the combo box lacks", {"--batch", "--set", "912:913=Bogus", "run", "0", sim}, 64, "usage",
       {"it holds no row \\\"Bogus\\\" (rows: DHCP, Static IP address)"}, {no(writeSettings)}},
      {"ethernet: an address no address control holds", {"--batch", "--set", "912:914=999.1.1.1", "run", "0", sim}, 64,
       "usage", {"--set 912:914=999.1.1.1: control 914: an address control", "!\"event\":\"text\""}},
      {"ethernet: a template the plug-in lacks", {"--batch", "--set", "999:1=x", "run", "0", sim}, 64, "usage",
       {"the plug-in has no dialog template 999", "!\"event\":\"status\""}},
      {"ethernet: a dialog that never appears", {"--batch", "--set", "940:941=450000", "run", "0", sim}, 64, "usage",
       {"{\"event\":\"warning\",\"text\":\"--set 940:941=450000: dialog 940 never appeared"}, {writeSettings}},
      {"radio", {"--batch", "run", "1", sim}, 0, "success", {"\"template\":940"}},
      {"modem", {"--batch", "run", "2", sim}, 1, "failed", {"[715]"}},
      {"update from an image, its version read back",
       {"--batch", "--answer", "Ensure all files=ok", "--set", "130:1002=Image 4.20", "run", "3", sim}, 0, "success",
       {"\"rows\":{\"1002\":[[\"", "\"1002\":\"Image 4.20\"", "\"template\":106",
        "\"version_before\":\"4.10\",\"version_after\":\"4.20\",\"version_expected\":\"4.20\""},
       {"report 0x9B, 1030 bytes", "!; NAK"}},
      {"update: a receiver that keeps its old version",
       {"--batch", "--answer", "Ensure all files=ok", "--set", "130:1002=Image 4.20", "run", "3", keep}, 1, "failed",
       {"\"reason\":\"the receiver runs version 4.10 after the update, not 4.20 of \\\"Image 4.20\\\"",
        "\"version_after\":\"4.10\",\"version_expected\":\"4.20\""}},
      {"update: the read-back left out",
       {"--batch", "--answer", "Ensure all files=ok", "--set", "130:1002=Image 4.20", "run", "3", "--no-verify", keep}, 0,
       "success", {"!\"template\":106", "!version_after"}},
      {"update: Data Logging unanswered", {"--batch", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 3, "stopped",
       {"\"answer\":\"cancel\",\"source\":\"stopped\",\"options\":[\"--answer 'Ensure all files have been downloaded=ok'\"",
        "\"status\":\"The software was updated successfully.\""}},
      {"update: Data Logging declined",
       {"--batch", "--answer", "Ensure all files=cancel", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 2, "declined",
       {"\"questions\":[{\"text\":\"Ensure all files"}},
      {"update: Data Logging accepted", {"--batch", "--yes", "--set", "130:1002=SREC 4.20", "run", "3", sim}, 0,
       "success", {"\"answer\":\"ok\",\"source\":\"yes\"", "\"version_after\":\"4.20\",\"version_expected\":\"4.20\""}},
      {"radio update: nothing to choose", {"--batch", "run", "4", sim}, 2, "cancelled",
       {"{\"event\":\"warning\",\"text\":\"Talvern - GPS Software Selection (130) refused its values as shown"}},
      {"reset unanswered sends nothing", {"--batch", "run", "5", sim}, 3, "stopped",
       {"\"options\":[\"--answer 'WARNING!! This operation will stop=yes'\""}, {no(resetFrame)}},
      {"reset with --yes", {"--batch", "--yes", "run", "5", sim}, 0, "success", {}, {resetFrame}},
      {"reset declined", {"--batch", "--answer", "Continue?=no", "run", "5", sim}, 2, "declined",
       {"\"source\":\"answer\""}, {no(resetFrame)}},
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
    ExpectParts(r.out, c.events);
    std::string sent;
    for (const auto& line : Lines(Slurp(transcript)))
      if (Has(line, " tx ")) sent += line + "\n";
    ExpectParts(sent, c.sent);
  }
  all += Run({"--json", "list"}).out + Run({"--json", "ports"}).out + Run({"--json", "firmware", "list"}).out;
  EXPECT_TRUE(Has(all, "{\"event\":\"firmware\",\"index\":1,\"description\":\"SREC 4.20\","));
  EXPECT_EQ(SchemaProblems(all), "");
}

TEST_F(TalvernProcessTest, RecordingsReplayAndADeviationIsPinpointed) {
  const std::string header = "# serial transcript 1\n";
  Check({
      // The operation sets up its port before it writes anything.
      {{"--batch", "run", "7", "--replay", Write("deviates.txt", header + "0.000000000 open /dev/ttyUSB0\n0.001000000 tx 02\n")},
       1, {}, {"it did `line 9600 8N1` where the recording has 02"}},
      {{"--batch", "run", "7", "--replay", Write("hello.txt", "hello\n")}, 1, {}, {"line 1: not a serial transcript"}},
      {{"--batch", "run", "7", "--replay", Write("malformed.txt", header + "0.000000000 tx 2\n")}, 1, {},
       {"line 2: expected a byte as two hex digits"}},
      // The replay's COM mapping lasts only as long as the run.
      {{"reg", "query", kSerialComm}, 0, {"!replay:"}},
  });
  // Sessions recorded from the virtual receiver: "Verify receiver software
  // version", "Configure ethernet settings" and "View error log", in batch mode.
  for (const char* op : {"7", "0", "8"}) {
    const std::string recorded = std::string(QZ_TEST_DATA_DIR) + "/sessions/op" + op + ".txt";
    // Change the first byte of the host's second write: the replay must name it.
    std::string text = Slurp(recorded);
    size_t at = text.find(" tx ");
    ASSERT_NE(at, std::string::npos);
    at = text.find(" tx ", at + 1);
    ASSERT_NE(at, std::string::npos);
    text[at + 4] = text[at + 4] == 'F' ? 'E' : 'F';
    Check({{{"--batch", "run", op, "--replay", recorded}, 0},
           {{"--batch", "run", op, "--replay", Write("changed.txt", text)}, 1, {}, {"the host left the recording at byte offset"}}});
  }
}

TEST_F(TalvernProcessTest, FirmwareIsRegisteredListedAndRemovedThroughThePluginsOwnPage) {
  Check({
      {{"firmware", "list"}, 0, {"The firmware catalogue is empty."}},
      // The register dialog names the entry after the file and copies the file in.
      {{"firmware", "add", Image("fw_v480_beta.timg")}, 0, {"* Fw V4.80 Beta\n", "Registered \"Fw V4.80 Beta\"."}},
      {{"firmware", "add", Image("bench.timg"), "--description", "Bench 4.80"}, 0, {"Bench 4.80\n", "Registered \"Bench 4.80\"."}},
      {{"--batch", "firmware", "add", Write("notes.txt", "not firmware\n")}, 64, {}, {"is invalid"}},
      {{"firmware", "list"}, 0, {"Fw V4.80 Beta\n", "Bench 4.80\n", "2 entries."}},
      // Unregistering deletes the file: it asks, and a batch run answers only what it is told.
      {{"--batch", "firmware", "remove", "bench 4.80"}, 3, {"Nothing was unregistered."}, {"--yes"}},
      {{"--batch", "--answer", "This operation will unregister=no", "firmware", "remove", "Bench 4.80"}, 2},
      {{"--batch", "--yes", "firmware", "remove", "BENCH 4.80"}, 0, {"Unregistered \"Bench 4.80\" and deleted its file."}},
      {{"firmware", "remove", "Bench 4.80"}, 64, {}, {"it holds no row \"Bench 4.80\" (rows: Fw V4.80 Beta)"}},
      // The entry is what an update loads; the bar tells its rate and time left.
      {{"--json", "--batch", "--answer", "Ensure all files=ok", "run", "Load GPS software", "--simulate"}, 0,
       {"\"1002\":\"Fw V4.80 Beta\"", "\"rate_bps\":", "\"eta_s\":"}},
      // Insert on the page through --key, then interactively with "k N insert": the same dialog.
      {{"--batch", "--answer", "Ensure all files=ok", "--key", "130:1002=insert", "--set", "131:1008=" + Image("again_v490.timg"),
        "--set", "130:1002=Again V4.90", "run", "3", "--simulate"}, 0, {"1002=Again V4.90"}},
      {{"run", "3", "--simulate"}, 0, {"k N insert or k N delete", "   5. Path: \n"},  // labels, not control ids
       {}, "k 3 insert\n5\n" + Image("typed_v500.timg") + "\nok\nnext\nok\n"},
      {{"firmware", "list"}, 0, {"Typed V5.00"}},  // registered from the page
  }, false);
  EXPECT_EQ(access(dir_.File("data/talvern/Firmware/fw_v480_beta.timg").c_str(), F_OK), 0);
  EXPECT_NE(access(dir_.File("data/talvern/Firmware/bench.timg").c_str(), F_OK), 0);
}

TEST_F(TalvernProcessTest, APortPathIsMappedOnlyForACharacterDeviceThatOpens) {
  const std::string transcript = dir_.File("real.txt");
  Check({
      {{"reg", "add", kTalvernKey, "/v", "LastUsedCOM", "/t", "REG_DWORD", "/d", "5"}, 0},
      {{"reg", "add", kSerialComm, "/v", "/dev/pts/77", "/d", "COM1"}, 0},
      {{"--batch", "run", "7", "--port", "/etc/passwd"}, 64, {}, {"--port /etc/passwd is not a serial device"}},
      {{"--batch", "run", "7", "--port", dir_.File("no/such/tty")}, 1, {}, {"No such file or directory"}},
      // It never opened, and a transcript is taken on a real port too.
      {{"--batch", "run", "7", "--port", "/dev/null", "--transcript", transcript}, 1, {},
       {"/dev/null is not a serial device", "!--simulate"}},
      {{"--batch", "run", "7", "--port", "3", "--transcript", dir_.File("no/such/dir/t.txt")}, 1, {},
       {"cannot write the transcript"}},
      // A mapping never blocks the virtual receiver; it says who holds the number and how to free it.
      {{"--batch", "run", "7", "--simulate", "--port", "1"}, 0, {},
       {"COM1 is mapped to /dev/pts/77, so the virtual receiver is on COM2 for this run; `talvern reg delete "
        "\"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM\" /v /dev/pts/77 /f` frees COM1"}},
      {{"--batch", "run", "7", "--simulate"}, 0},
      {{"reg", "query", kSerialComm}, 0, {"/dev/pts/77", "!/etc/passwd", "!no/such/tty", "!/dev/null", "!sim:"}},
      {{"reg", "query", kTalvernKey, "/v", "LastUsedCOM"}, 0, {"0x5"}},
  });
  EXPECT_EQ(Lines(Slurp(transcript)).at(0), "# serial transcript 1");
}

TEST_F(TalvernProcessTest, AQzSimRecordingReplaysAndThePortThatOpenedIsRemembered) {
  const std::string recording = dir_.File("sim.txt");
  const std::string sim = std::string(QZ_BIN_DIR) + "/qz7xx-sim --transcript " + recording;
  std::FILE* served = popen(("exec " + sim).c_str(), "r");
  ASSERT_TRUE(served);
  char line[256] = {};
  ASSERT_TRUE(std::fgets(line, sizeof line, served));
  std::string pty = line;
  pty.pop_back();
  const Result real = Run({"--batch", "--trace", "run", "7", "--port", pty, "--time-scale", "10"});
  std::system(("pkill -INT -f '^" + sim + "'").c_str());
  pclose(served);
  EXPECT_EQ(real.status, 0) << real.out << real.err;
  // The plug-in's protocol steps: the open, the break, packets by type, waits.
  for (const std::string& step : {"trace: COM1 open (" + pty + ") at 9600 baud", std::string("trace: COM1: break"),
                                 std::string("trace: report 0x4A, 1 bytes"), std::string("trace: wait 8.0 s")})
    EXPECT_TRUE(Has(real.err, step)) << step << "\n" << real.err;

  const auto lines = Lines(Slurp(recording));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "# serial transcript 1");
  EXPECT_TRUE(Has(lines[1], " note recorded at the receiver's end: ")) << lines[1];
  EXPECT_TRUE(Has(lines[2], " line 9600 8N1")) << lines[2];
  std::string text = Slurp(recording);
  const size_t tx = text.find(" tx 02 00 4A 01");
  ASSERT_NE(tx, std::string::npos);
  text[tx + 14] = '2';
  Check({
      {{"reg", "query", kSerialComm}, 0, {pty + "    REG_SZ    COM1"}},
      {{"reg", "query", kTalvernKey, "/v", "LastUsedCOM"}, 0, {"0x1"}},
      {{"--batch", "run", "7", "--replay", recording}, 0},
      {{"--batch", "run", "7", "--replay", Write("changed.txt", text)}, 1, {}, {"it wrote 01 where the recording has 02"}},
  });
}

// The install has no cancel point: the run ends once the host gives up waiting for it to stop.
TEST_F(TalvernProcessTest, ABatchUpdateWhoseReceiverFallsSilentEndsAtItsStopWait) {
  ASSERT_EQ(Run({"firmware", "add", Image("fw_v480.timg")}).status, 0);
  // Silent from the first status query of the install on (the image's blocks come before it).
  const std::string silent = Write("silent.txt", "fault = silence type=0x9B n=406 count=0\n");
  const std::string transcript = dir_.File("silent-run.txt");
  const Result r = Run({"--json", "--batch", "--answer", "Ensure all files=ok", "run", "3", "--simulate=" + silent,
                        "--timeout", "70", "--stop-wait", "2", "--transcript", transcript});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  for (const char* text : {"{\"event\":\"done\",\"outcome\":\"failed\"", "\"abandoned\":true", "\"timed_out_s\":70",
                           "\"reason\":\"the operation did not stop within 2 s of being asked to (--stop-wait)",
                           "talvern sent nothing more to it"})
    EXPECT_TRUE(Has(lines.back(), text)) << text << "\n" << lines.back();
  EXPECT_TRUE(Has(r.out, "{\"event\":\"stopping\",\"reason\":\"the run reached its time-out of 70 s\",\"waited_s\":2,")) << r.out;
  EXPECT_TRUE(Has(Slurp(transcript), "note talvern gave up waiting for the operation to stop")) << "the transcript is whole";
  EXPECT_EQ(SchemaProblems(r.out), "");
}

// Three receivers at once: one succeeds, one fails, one stops at its own error; none touches another.
TEST_F(TalvernProcessTest, SeveralReceiversRunAtOnceAndTheWorstOutcomeDecides) {
  const std::vector<std::string> args = {
      "--batch", "run", "7", "--ports", "1,2", "--port", "3", "--simulate",
      "--simulate=2:" + Write("refuses.txt", "fault = nak type=0x06 n=1\n"),  // the version request is refused
      "--simulate=3:" + Write("monitor.txt", "mode = monitor\n")};  // "not running the application", then its cancel status
  std::vector<std::string> json = {"--json"};
  json.insert(json.end(), args.begin(), args.end());
  Check({
      {args, 1,
       {"COM1: receiver QZ710, serial number 5012A00123, software 4.10\n", "COM3: status: The operation was canceled.\n",
        "  COM1  5012A00123  Verify receiver software version  succeeded", "COM2 failed: There was a failure with the operation!",
        "COM3 failed: the operation ended without finishing after the box \"The device found on COM3 is not running",
        "\"The operation was canceled.\", though nothing asked it to stop", "3 receivers: 1 succeeded, 2 failed.\n"}},
      // Questions are put one at a time, each headed with its port; the answers go in the order asked.
      {{"run", "5", "--simulate", "--ports", "1,2"}, 2,
       {"-- COM1: DevQZ710 --", "-- COM2: DevQZ710 --", "Name a button: yes, no", "2 receivers: 1 succeeded, 1 declined."},
       {}, "maybe\nyes\nno\n"},
  });
  const Result events = Run(json);
  EXPECT_EQ(events.status, 1);
  const auto lines = Lines(events.out);
  ASSERT_FALSE(lines.empty());
  for (const auto& line : lines) EXPECT_TRUE(line.rfind("{\"port\":\"COM", 0) == 0 || line.rfind("{\"event\":\"summary\"", 0) == 0) << line;
  EXPECT_EQ(lines.back().rfind("{\"event\":\"summary\",\"operation\":\"Verify receiver software version\",\"exit_status\":1,", 0), 0u)
      << lines.back();
  EXPECT_EQ(SchemaProblems(events.out), "");
}

// Eight runs share one registry store: each finds a COM number of its own
// and its own receiver for its pages, and no entry is lost.
TEST_F(TalvernProcessTest, EightRunsShareTheRegistryAndLoseNothing) {
  ASSERT_EQ(Run({"firmware", "add", Image("fw_v480.timg")}).status, 0);
  // COM1 to COM8 are taken, so every virtual receiver looks for a free number at the same time.
  std::vector<std::string> held;
  for (int n = 1; n <= 8; ++n) {
    const std::string com = "COM" + std::to_string(n);
    ASSERT_EQ(Run({"reg", "add", kSerialComm, "/v", dir_.File("held" + std::to_string(n)), "/d", com}).status, 0);
    held.push_back("held" + std::to_string(n) + "    REG_SZ    " + com);
  }
  const Result r = Run({"--json", "--batch", "--answer", "Ensure all files=ok", "run", "3", "--simulate", "--ports", "1,2,3,4,5,6,7,8"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::set<std::string> taken;
  for (const auto& line : Lines(r.out)) {
    const size_t at = line.find("so the virtual receiver is on COM");
    if (at != std::string::npos) taken.insert(line.substr(at + 30, line.find(' ', at + 30) - at - 30));
    // The update page identified the run's own receiver: it showed no failure.
    if (Has(line, "\"event\":\"messagebox\"")) {
      EXPECT_TRUE(Has(line, "\"source\":\"answer\"")) << line;
    }
  }
  EXPECT_EQ(taken.size(), 8u) << r.out;
  size_t verified = 0;
  for (size_t at = 0; (at = r.out.find("\"version_after\":\"4.80\"", at)) != std::string::npos; ++at) ++verified;
  EXPECT_EQ(verified, 16u) << "each run's done and its row of the summary";
  held.push_back("!sim:");
  Check({
      {{"reg", "query", kSerialComm}, 0, held},
      {{"reg", "query", kTalvernKey, "/v", "LastUsedCOM"}, 1},  // put back as it was
      {{"firmware", "list"}, 0, {"Fw V4.80"}},
  });
}
