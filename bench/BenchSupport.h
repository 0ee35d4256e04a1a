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

#include <algorithm>
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
  // kOnDisk: under /var/tmp, for figures whose point is the file system.
  enum Where { kInMemory, kOnDisk };
  explicit ScratchDir(Where where = kInMemory) {
    std::string base = where == kOnDisk ? "/var/tmp" : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
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

// The median and the range of a set of measurements.
struct Spread {
  double median = 0, min = 0, max = 0;
  std::size_t n = 0;
};
inline Spread SpreadOf(std::vector<double> values) {
  Spread s;
  s.n = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  s.median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
  s.min = values.front();
  s.max = values.back();
  return s;
}

// The repetitions every figure gets unless the command line asks for others.
constexpr int kRepetitions = 5;

// Console output as usual, then one line per pair (A, B): the median of A's
// repetitions over the median of B's, with the range of the ratios of the
// repetitions taken in the same round (A's i-th over B's i-th). The rounds
// are interleaved, so that the two of a pair share the machine's load. The
// table is printed whatever the other reporting options say; when only
// aggregates reach the reporter, their medians stand in (and no range).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Pair {
    std::string figure, anchor, goal;
  };
  explicit RatioReporter(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

  // "BM_X/100/real_time/repeats:5" -> "BM_X/100/real_time": the pairs name a figure whatever its repetitions.
  static std::string Figure(const Run& run) {
    std::string name = run.run_name.str();
    const std::size_t at = name.find("/repeats:");
    if (at != std::string::npos) {
      const std::size_t end = name.find('/', at + 1);
      name.erase(at, end == std::string::npos ? std::string::npos : end - at);
    }
    return name;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      if (run.run_type == Run::RT_Iteration) {
        auto& samples = samples_[Figure(run)];
        if (samples.size() <= static_cast<std::size_t>(run.repetition_index))
          samples.resize(static_cast<std::size_t>(run.repetition_index) + 1, -1);
        samples[static_cast<std::size_t>(run.repetition_index)] = seconds;
      } else if (run.aggregate_name == "median") {
        medians_[Figure(run)] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios: medians of the repetitions; in brackets the range of the per-round ratios.\n");
    std::printf("%-40s %-40s %6s %10s %22s  %s\n", "A", "B", "rounds", "A/B", "[range]", "goal");
    for (const Pair& p : pairs_) {
      std::vector<double> a = Valid(p.figure), b = Valid(p.anchor), ratios;
      const auto& sa = samples_[p.figure];
      const auto& sb = samples_[p.anchor];
      for (std::size_t i = 0; i < std::min(sa.size(), sb.size()); ++i)
        if (sa[i] > 0 && sb[i] > 0) ratios.push_back(sa[i] / sb[i]);
      double ma = SpreadOf(a).median, mb = SpreadOf(b).median;
      if (a.empty() && medians_.count(p.figure)) ma = medians_[p.figure];
      if (b.empty() && medians_.count(p.anchor)) mb = medians_[p.anchor];
      char range[64] = "n/a";
      if (!ratios.empty()) {
        const Spread r = SpreadOf(ratios);
        std::snprintf(range, sizeof range, "[%.3f - %.3f]", r.min, r.max);
      }
      if (ma > 0 && mb > 0)
        std::printf("%-40s %-40s %6zu %10.3f %22s  %s\n", p.figure.c_str(), p.anchor.c_str(), ratios.size(), ma / mb,
                    range, p.goal.c_str());
      else
        std::printf("%-40s %-40s %6s %10s %22s  %s\n", p.figure.c_str(), p.anchor.c_str(), "-", "n/a", "", p.goal.c_str());
    }
    std::fflush(stdout);
  }

 private:
  std::vector<double> Valid(const std::string& name) {
    std::vector<double> out;
    for (double v : samples_[name])
      if (v > 0) out.push_back(v);
    return out;
  }

  std::vector<Pair> pairs_;
  std::map<std::string, std::vector<double>> samples_;  // seconds per iteration, by repetition
  std::map<std::string, double> medians_;               // seconds, from aggregates
};

// main() of a benchmark program that ends with its ratio table. Unless the
// command line says otherwise, every figure is repeated kRepetitions times
// and the repetitions of all figures are interleaved.
inline int RunWithRatios(int argc, char** argv, std::vector<RatioReporter::Pair> pairs) {
  std::vector<std::string> args(argv, argv + argc);
  auto given = [&args](const std::string& flag) {
    for (const std::string& a : args)
      if (a.rfind(flag, 0) == 0) return true;
    return false;
  };
  if (!given("--benchmark_repetitions")) args.push_back("--benchmark_repetitions=" + std::to_string(kRepetitions));
  if (!given("--benchmark_enable_random_interleaving")) args.push_back("--benchmark_enable_random_interleaving=true");
  std::vector<char*> argvOut;
  for (std::string& a : args) argvOut.push_back(a.data());
  int count = static_cast<int>(argvOut.size());
  argvOut.push_back(nullptr);
  benchmark::Initialize(&count, argvOut.data());
  if (benchmark::ReportUnrecognizedArguments(count, argvOut.data())) return 1;
  RatioReporter reporter(std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
