// qz7xx-sim: a virtual receiver on a pseudo-terminal, in real time.
//   qz7xx-sim [--profile FILE] [--transcript FILE] [--fifo N]
// Prints the device path to open and runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "afx/Clock.h"
#include "sim/PtyServer.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

constexpr const char* kUsage =
    "usage: qz7xx-sim [--profile FILE] [--transcript FILE] [--fifo N]\n"
    "Serves a virtual receiver on a pseudo-terminal in real time; prints the\n"
    "device path to open and runs until interrupted.\n"
    "  --profile FILE     the receiver's profile (default: a QZ710 running its application)\n"
    "  --transcript FILE  write every frame crossing the line to FILE\n"
    "  --fifo N           the host port's receive FIFO level: bytes reach the host once N\n"
    "                     wait or the line is quiet for four byte times (default 14;\n"
    "                     1 hands over each byte as it arrives)\n";

int Usage(std::FILE* to, int code) {
  std::fputs(kUsage, to);
  return code;
}
}  // namespace

int main(int argc, char** argv) {
  std::string profilePath, transcriptPath;
  unsigned long fifo = sim::PtyServer::kDefaultFifoLevel;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--profile" || arg == "--transcript") && i + 1 < argc) {
      (arg == "--profile" ? profilePath : transcriptPath) = argv[++i];
    } else if (arg == "--fifo" && i + 1 < argc) {
      char* end = nullptr;
      fifo = std::strtoul(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || fifo < 1 || fifo > 4096) {
        std::fprintf(stderr, "qz7xx-sim: --fifo takes a level from 1 to 4096, not '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--help" || arg == "-h") {
      return Usage(stdout, 0);
    } else {
      return Usage(stderr, 2);
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
  if (transcript)
    t.SetSink([transcript](const std::string& line) {
      std::fputs((line + "\n").c_str(), transcript);
      std::fflush(transcript);
    });
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
