// Shared by the benchmarks: a scratch folder, file writing, running an
// outside tool as an anchor, and a reporter that prints each figure as a
// ratio to its anchor at the end of the run.
#pragma once
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace bench {

// Memory-backed when the system has it, so that disk speed is no part of a figure.
class ScratchDir {
 public:
  ScratchDir() {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/qzbench.XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string WriteFile(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}
inline std::string WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return WriteFile(path, bytes.data(), bytes.size());
}
inline std::string WriteFile(const std::string& path, const std::string& text) {
  return WriteFile(path, text.data(), text.size());
}

// Runs `argv` with its output discarded; true when it exited with 0.
inline bool RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Console output as usual, then one line per pair (A, B):
// A's time per iteration divided by B's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Pair {
    std::string figure, anchor, goal;
  };
  explicit RatioReporter(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      seconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %-44s %10s  %s\n", "A", "B", "time A/B", "goal");
    for (const Pair& p : pairs_) {
      auto f = seconds_.find(p.figure), a = seconds_.find(p.anchor);
      if (f == seconds_.end() || a == seconds_.end() || a->second <= 0) {
        std::printf("%-44s %-44s %10s  %s\n", p.figure.c_str(), p.anchor.c_str(), "n/a", p.goal.c_str());
        continue;
      }
      std::printf("%-44s %-44s %10.3f  %s\n", p.figure.c_str(), p.anchor.c_str(), f->second / a->second,
                  p.goal.c_str());
    }
    std::fflush(stdout);
  }

 private:
  std::vector<Pair> pairs_;
  std::map<std::string, double> seconds_;
};

// main() of a benchmark program that ends with its ratio table.
inline int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
