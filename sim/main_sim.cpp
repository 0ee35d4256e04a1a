// qz7xx-sim: a virtual receiver on a pseudo-terminal, in real time.
//   qz7xx-sim [--profile FILE] [--transcript FILE]
// Prints the device path to open and runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "afx/Clock.h"
#include "sim/PtyServer.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

int Usage() {
  std::fprintf(stderr, "usage: qz7xx-sim [--profile FILE] [--transcript FILE]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string profilePath, transcriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--profile" || arg == "--transcript") && i + 1 < argc) {
      (arg == "--profile" ? profilePath : transcriptPath) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else {
      return Usage();
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
