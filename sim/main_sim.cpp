// qz7xx-sim: a virtual receiver on a pseudo-terminal, in real time.
//   qz7xx-sim [--profile FILE] [--transcript FILE] [--fifo N]
// Prints the device path to open and runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "afx/Clock.h"
#include "afx/Transcript.h"
#include "sim/PtyServer.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

constexpr const char* kUsage =
    "usage: qz7xx-sim [--profile FILE] [--transcript FILE] [--fifo N]\n"
    "Serves a virtual receiver on a pseudo-terminal in real time; prints the\n"
    "device path to open and runs until interrupted.\n"
    "  --profile FILE     the receiver's profile (docs/SIMULATOR.md; default: a QZ710\n"
    "                     running its application)\n"
    "  --transcript FILE  write what crosses the line to FILE as a serial transcript\n"
    "                     (docs/TRANSCRIPT.md), as seen from the receiver's end; talvern\n"
    "                     run --replay FILE plays it back\n"
    "  --fifo N           the host port's receive FIFO level: bytes reach the host once N\n"
    "                     wait or the line is quiet for four byte times (default 14;\n"
    "                     1 hands over each byte as it arrives)\n"
    "  -h, --help         this text\n";

int UsageError(const std::string& error) {
  std::fprintf(stderr, "qz7xx-sim: %s (see qz7xx-sim --help)\n", error.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string profilePath, transcriptPath;
  unsigned long fifo = sim::PtyServer::kDefaultFifoLevel;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg != "--profile" && arg != "--transcript" && arg != "--fifo") return UsageError("unknown option " + arg);
    if (i + 1 >= argc) return UsageError(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--profile") {
      profilePath = value;
    } else if (arg == "--transcript") {
      transcriptPath = value;
    } else {
      char* end = nullptr;
      fifo = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || fifo < 1 || fifo > 4096)
        return UsageError("--fifo takes a level from 1 to 4096, not '" + value + "'");
    }
  }
  sim::Profile profile;
  std::string error;
  if (!profilePath.empty() && !sim::Profile::Load(profilePath, &profile, &error)) {
    std::fprintf(stderr, "qz7xx-sim: %s\n", error.c_str());
    return 1;
  }
  std::FILE* transcript = nullptr;
  if (!transcriptPath.empty() && !(transcript = std::fopen(transcriptPath.c_str(), "w"))) {
    std::fprintf(stderr, "qz7xx-sim: cannot write %s: %s\n", transcriptPath.c_str(), std::strerror(errno));
    return 1;
  }
  sim::PtyServer server(profile);
  server.SetReceiveFifo(fifo);
  sim::Transcript& t = server.Receiver().GetTranscript();
  t.SetKeep(false);
  if (transcript) {
    std::fprintf(transcript, "%s\n", std::string(afx::Transcript::kHeader).c_str());
    t.SetOrigin(afx::GetClock().NowNs());
    t.SetSink([transcript](const std::string& line) {
      std::fputs((line + "\n").c_str(), transcript);
      std::fflush(transcript);
    });
    t.Event(afx::GetClock().NowNs(), sim::PtyServer::kReceiverEndNote);
  }
  if (!server.Start(&error)) {
    std::fprintf(stderr, "qz7xx-sim: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::printf("%s\n", server.SlavePath().c_str());
  std::fflush(stdout);
  while (!g_stop) Sleep(100);
  server.Stop();
  if (transcript) std::fclose(transcript);
  return 0;
}
