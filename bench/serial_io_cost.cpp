// Host CPU per 1 KiB block of a real transfer over a pseudo-terminal, and the
// share of one core it keeps busy.
//
//   serial_io_cost [image KiB, default 128] [bauds, default 115200,460800] [FIFO level, default 14]
//                  [repetitions, default 5]
//
// The transfer: qz7xx-sim (beside this program) serves a receiver on a
// pseudo-terminal in real time; the host opens it through the system's serial
// backend and CSerialInterface and runs UploadFirmware (application mode,
// without the install phase) and, against a receiver in its monitor,
// ProgramImage, each with an application of the given size. The process's CPU
// time over the transfer divided by the image's 1 KiB blocks is the figure;
// CPU over wall time is the share of a core; the process's voluntary context
// switches per block count its wake-ups. Every round runs every transfer at
// every speed, and the figures are the medians of the rounds with their range.
// For context only, each transfer is followed by one read() per byte of a
// pseudo-terminal carrying the same number of bytes (a yardstick that moves
// with the machine far more than the figure does). The FIFO level is
// qz7xx-sim's --fifo: how many received bytes the host's port gathers before
// handing them over (1: each byte).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "afx/Module.h"
#include "afx/Registry.h"
#include "afx/SerialDevice.h"
#include "device/GarnexInterface.h"
#include "firmware/TimgFile.h"
#include "port/SerialInterface.h"
#include "res/Resources.h"
#include "sim/ImageWriter.h"
#include "support/RecordingWindow.h"

namespace {

std::int64_t CpuNs(clockid_t which) {
  timespec ts{};
  clock_gettime(which, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Counts what crosses the device; forwards everything else.
class CountingDevice : public afx::SerialDevice {
 public:
  explicit CountingDevice(std::unique_ptr<afx::SerialDevice> inner) : inner_(std::move(inner)) {}
  std::uint64_t bytesIn = 0, bytesOut = 0;

  std::string Path() const override { return inner_->Path(); }
  bool SetLineSettings(const afx::LineSettings& s) override { return Forward(inner_->SetLineSettings(s)); }
  bool GetLineSettings(afx::LineSettings* s) override { return Forward(inner_->GetLineSettings(s)); }
  bool IsSpeedSupported(DWORD baud) override { return inner_->IsSpeedSupported(baud); }
  bool Purge(DWORD flags) override { return Forward(inner_->Purge(flags)); }
  bool SetBreak(bool on) override { return Forward(inner_->SetBreak(on)); }
  bool EscapeFunction(DWORD f) override { return Forward(inner_->EscapeFunction(f)); }
  bool ClearError(DWORD* errors) override { return Forward(inner_->ClearError(errors)); }
  bool Write(const void* data, DWORD count, DWORD* written) override {
    afx::COMMTIMEOUTS t;
    GetTimeouts(&t);
    inner_->SetTimeouts(t);
    const bool ok = Forward(inner_->Write(data, count, written));
    bytesOut += *written;
    return ok;
  }
  void Close() override { inner_->Close(); }
  int PollFd() const override { return inner_->PollFd(); }
  void ExpectInput(DWORD bytes) override { inner_->ExpectInput(bytes); }
  DWORD Held() const override { return inner_->Held(); }

 protected:
  bool ReadAvailable(std::uint8_t* buffer, DWORD max, DWORD* got) override {
    const bool ok = Forward(ReadAvailableOf(*inner_, buffer, max, got));
    bytesIn += *got;
    return ok;
  }
  bool WaitReadable(std::int64_t deadlineNs) override { return Forward(WaitReadableOf(*inner_, deadlineNs)); }

 private:
  bool Forward(bool ok) {
    if (!ok) SetLastError(inner_->LastError());
    return ok;
  }
  std::unique_ptr<afx::SerialDevice> inner_;
};

// qz7xx-sim in a child process; its first output line is the slave path.
class SimProcess {
 public:
  SimProcess(const std::string& program, const std::string& profile, unsigned fifo) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{program, "--profile", profile, "--fifo", std::to_string(fifo)};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
      ::close(out[0]);
      throw std::runtime_error("cannot start " + program);
    }
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    ::close(out[0]);
    if (path_.empty()) throw std::runtime_error(program + " printed no device path");
  }
  ~SimProcess() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = 0;
  std::string path_;
};

// This process's context switches so far: {voluntary (it waited), involuntary (it was preempted)}.
std::pair<long, long> Switches() {
  std::pair<long, long> n{0, 0};
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return n;
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    std::sscanf(line, "voluntary_ctxt_switches: %ld", &n.first);
    std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n.second);
  }
  std::fclose(f);
  return n;
}

struct Cost {
  long voluntary = 0, involuntary = 0;
  std::uint64_t bytes = 0;
  std::int64_t cpuNs = 0;
  double wallS = 0;
  double PerByte() const { return static_cast<double>(cpuNs) / static_cast<double>(bytes); }
};

std::string Beside(const char* self, const char* name) {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string dir = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(self);
  return dir.substr(0, dir.rfind('/') + 1) + name;
}

enum class Transfer { Upload, FlashProgramming };

Cost Run(const std::string& simProgram, Transfer transfer, std::size_t appSize, std::uint32_t baud, unsigned fifo) {
  bench::ScratchDir dir;
  AFX_MODULE_STATE module;
  res::Install(&module);
  module.appName = "DevQZ710";
  module.m_pszAppName = module.appName.c_str();
  AFX_MAINTAIN_STATE keep(&module);
  afx::SetRegistryPath(dir.File("registry.reg"));

  const bool upload = transfer == Transfer::Upload;
  const std::string b = std::to_string(baud);
  const std::string profile = bench::WriteFile(
      dir.File("profile.txt"), std::string("mode = ") + (upload ? "application" : "monitor") + "\nport.baud = " + b +
                                   "\nmonitor.baud = " + b + "\nproduct.code = 100\nproduct.id = 100\n");
  sim::IdentityBlock id;
  id.name = "KELVOR ";
  id.version = 420;
  id.imageSize = static_cast<std::uint32_t>(appSize);
  std::vector<std::uint8_t> app = sim::ImageWriter::Identity(id);
  while (app.size() < appSize) app.push_back(static_cast<std::uint8_t>(app.size() * 7 % 251));
  const std::string image =
      bench::WriteFile(dir.File("image.timg"), sim::ImageWriter::Timg({{2, 4, 20, 0x02440000, app}}));

  SimProcess sim(simProgram, profile, fifo);
  DWORD error = 0;
  std::unique_ptr<afx::SerialDevice> system = afx::OpenSystemSerialDevice(sim.Path(), &error);
  if (!system) throw std::runtime_error("cannot open " + sim.Path());
  auto counting = std::make_unique<CountingDevice>(std::move(system));
  CountingDevice* counts = counting.get();
  const int code = CLSDeviceInterface::BaudCodeFromRate(baud);
  if (code < 0) throw std::runtime_error("no speed code for " + b);
  CSerialInterface port;
  port.Attach(std::move(counting), 7, 1, 0, 0, code);
  RecordingWindow window;
  afx::Event cancel;
  OperationParams params{7, 0, &window, &cancel};
  CGarnexInterface device(&port, params);
  CTimgFile file(image.c_str());
  TimgSection section{};
  if (!file.FindApplicationSection(section)) throw std::runtime_error("no application section");

  const std::uint64_t before = counts->bytesIn + counts->bytesOut;
  const std::pair<long, long> sw0 = Switches();
  const std::int64_t cpu0 = CpuNs(CLOCK_PROCESS_CPUTIME_ID), wall0 = CpuNs(CLOCK_MONOTONIC);
  if (upload)
    device.UploadFirmware(file, 0, 0, 100, false);
  else
    device.ProgramImage(file, section.payloadOffset, section.length, section.flashAddress, 0, 100);
  Cost cost;
  cost.cpuNs = CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  const std::pair<long, long> sw1 = Switches();
  cost.voluntary = sw1.first - sw0.first;
  cost.involuntary = sw1.second - sw0.second;
  cost.wallS = static_cast<double>(CpuNs(CLOCK_MONOTONIC) - wall0) / 1e9;
  cost.bytes = counts->bytesIn + counts->bytesOut - before;
  port.Close();
  return cost;
}

// A pseudo-terminal in raw mode whose slave side's reads wait for `vmin` bytes.
struct RawPty {
  int master = -1, slave = -1;
  explicit RawPty(cc_t vmin = 1) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no pseudo-terminal");
    slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0) throw std::runtime_error("cannot open the slave side");
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = vmin;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  ~RawPty() {
    CloseSlave();
    if (master >= 0) ::close(master);
  }
  // The master side then reads the end of the line.
  void CloseSlave() {
    if (slave >= 0) ::close(slave);
    slave = -1;
  }
  RawPty(const RawPty&) = delete;
  RawPty& operator=(const RawPty&) = delete;
};

// One read() per byte from a raw pseudo-terminal that a writer thread fills.
Cost ReadPerByte(std::uint64_t bytes) {
  const RawPty pty;
  const int master = pty.master, slave = pty.slave;
  std::thread writer([&] {
    std::vector<std::uint8_t> chunk(1024);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i);
    std::uint64_t left = bytes;
    while (left > 0) {
      const ssize_t n = ::write(master, chunk.data(), static_cast<size_t>(std::min<std::uint64_t>(left, chunk.size())));
      if (n <= 0) break;
      left -= static_cast<std::uint64_t>(n);
    }
  });
  Cost cost;
  const std::int64_t cpu0 = CpuNs(CLOCK_THREAD_CPUTIME_ID), wall0 = CpuNs(CLOCK_MONOTONIC);
  std::uint8_t byte = 0;
  std::uint64_t sum = 0;
  while (cost.bytes < bytes && ::read(slave, &byte, 1) == 1) {
    sum += byte;
    ++cost.bytes;
  }
  cost.cpuNs = CpuNs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
  cost.wallS = static_cast<double>(CpuNs(CLOCK_MONOTONIC) - wall0) / 1e9;
  writer.join();
  if (cost.bytes != bytes) throw std::runtime_error("the anchor's pseudo-terminal lost bytes");
  benchmark::DoNotOptimize(sum);
  return cost;
}


// The least a host can spend per block over a pseudo-terminal on this
// machine: a thread that does only the I/O a block needs (the request in one
// write, one blocking read of the whole reply) against a receiver process that
// takes the request, waits for the wire time of request and reply (and the
// upload's 2 ms after the block: `waitUs`) and answers. A process, as
// qz7xx-sim is, so that each wake-up switches processes as in the transfer.
// Its own CPU time per block is the figure's yardstick.
Cost StopAndWaitFloor(std::size_t blocks, std::size_t request, std::size_t reply, std::uint32_t baud, long waitUs) {
  RawPty pty(static_cast<cc_t>(reply));
  const std::int64_t answerNs = static_cast<std::int64_t>(request + reply) * 10'000'000'000LL / baud + waitUs * 1000;
  const pid_t receiver = ::fork();
  if (receiver < 0) throw std::runtime_error("fork failed");
  if (receiver == 0) {
    pty.CloseSlave();
    std::vector<std::uint8_t> in(request), out(reply, 0x06);
    for (std::size_t b = 0; b < blocks; ++b) {
      for (std::size_t got = 0; got < request;) {
        const ssize_t n = ::read(pty.master, in.data() + got, request - got);
        if (n <= 0) ::_exit(1);
        got += static_cast<std::size_t>(n);
      }
      timespec wait{static_cast<time_t>(answerNs / 1'000'000'000), static_cast<long>(answerNs % 1'000'000'000)};
      ::clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, nullptr);
      if (::write(pty.master, out.data(), reply) != static_cast<ssize_t>(reply)) ::_exit(1);
    }
    ::_exit(0);
  }
  std::vector<std::uint8_t> frame(request, 0x5A), answer(reply);
  Cost cost;
  const std::int64_t cpu0 = CpuNs(CLOCK_THREAD_CPUTIME_ID), wall0 = CpuNs(CLOCK_MONOTONIC);
  bool ok = true;
  for (std::size_t b = 0; ok && b < blocks; ++b) {
    ok = ::write(pty.slave, frame.data(), request) == static_cast<ssize_t>(request) &&
         ::read(pty.slave, answer.data(), reply) == static_cast<ssize_t>(reply);
    cost.bytes += request + reply;
  }
  cost.cpuNs = CpuNs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
  cost.wallS = static_cast<double>(CpuNs(CLOCK_MONOTONIC) - wall0) / 1e9;
  if (!ok) pty.CloseSlave();  // ends the receiver's wait
  int status = 0;
  ::waitpid(receiver, &status, 0);
  if (!ok || status != 0) throw std::runtime_error("the floor's pseudo-terminal failed");
  return cost;
}

std::vector<std::uint32_t> Bauds(const char* list) {
  std::vector<std::uint32_t> bauds;
  for (const char* p = list; *p;) {
    char* end = nullptr;
    bauds.push_back(static_cast<std::uint32_t>(std::strtoul(p, &end, 10)));
    p = *end == ',' ? end + 1 : end;
    if (end == p && *p) break;
  }
  return bauds;
}

std::string Figure(const bench::Spread& s, const char* format) {
  char text[96];
  const std::string f = std::string(format) + " [" + format + " - " + format + "]";
  std::snprintf(text, sizeof text, f.c_str(), s.median, s.min, s.max);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 0) : 128;
  const std::vector<std::uint32_t> bauds = Bauds(argc > 2 ? argv[2] : "115200,460800");
  const auto fifo = static_cast<unsigned>(argc > 3 ? std::strtoul(argv[3], nullptr, 0) : 14);
  const int rounds = argc > 4 ? std::atoi(argv[4]) : bench::kRepetitions;
  constexpr double kGoalUs = 50;  // CPU per block at 460800
  try {
    const std::string sim = Beside(argv[0], "qz7xx-sim");
    struct Series {
      std::string name;
      std::uint32_t baud;
      std::vector<double> cpuUs{}, floorUs{}, toFloor{}, core{}, wakeUps{}, preempted{}, anchorNs{}, ratio{};
      std::uint64_t bytes = 0;
    };
    std::vector<Series> series;
    for (std::uint32_t baud : bauds)
      for (Transfer t : {Transfer::Upload, Transfer::FlashProgramming})
        series.push_back(Series{(t == Transfer::Upload ? "upload " : "flash programming ") + std::to_string(baud), baud});
    for (int round = 0; round < rounds; ++round) {
      std::size_t i = 0;
      for (std::uint32_t baud : bauds) {
        for (Transfer t : {Transfer::Upload, Transfer::FlashProgramming}) {
          Series& s = series[i++];
          const Cost c = Run(sim, t, kib * 1024, baud, fifo);
          const Cost anchor = ReadPerByte(c.bytes);
          const bool upload = t == Transfer::Upload;
          const Cost floor = StopAndWaitFloor(kib, upload ? 1037 : 1035, upload ? 11 : 8, baud, upload ? 2000 : 0);
          const double blocks = static_cast<double>(kib);
          s.floorUs.push_back(static_cast<double>(floor.cpuNs) / 1e3 / blocks);
          s.toFloor.push_back(static_cast<double>(c.cpuNs) / static_cast<double>(floor.cpuNs));
          s.bytes = c.bytes;
          s.cpuUs.push_back(static_cast<double>(c.cpuNs) / 1e3 / blocks);
          s.core.push_back(100.0 * static_cast<double>(c.cpuNs) / 1e9 / c.wallS);
          s.wakeUps.push_back(static_cast<double>(c.voluntary) / blocks);
          s.preempted.push_back(static_cast<double>(c.involuntary) / blocks);
          s.anchorNs.push_back(anchor.PerByte());
          s.ratio.push_back(c.PerByte() / anchor.PerByte());
        }
      }
    }
    std::printf("%d rounds, %zu KiB image (%zu blocks of 1 KiB), pseudo-terminal, FIFO %u; medians [range]\n", rounds,
                kib, kib, fifo);
    std::printf("%-26s %-24s %-24s %-22s %-20s %-20s %-20s | context: %-24s %s\n", "transfer", "CPU us per block",
                "floor us per block", "CPU / floor", "% of a core", "wake-ups per block", "preempted per block",
                "read() per byte, ns", "ratio");
    bool met = true, measured = false;
    for (const Series& s : series) {
      const bench::Spread cpu = bench::SpreadOf(s.cpuUs);
      if (s.baud == 460800) {
        measured = true;
        met = met && cpu.median <= kGoalUs;
      }
      std::printf("%-26s %-24s %-24s %-22s %-20s %-20s %-20s | %-33s %s\n", s.name.c_str(), Figure(cpu, "%.1f").c_str(),
                  Figure(bench::SpreadOf(s.floorUs), "%.1f").c_str(), Figure(bench::SpreadOf(s.toFloor), "%.2f").c_str(),
                  Figure(bench::SpreadOf(s.core), "%.2f").c_str(), Figure(bench::SpreadOf(s.wakeUps), "%.2f").c_str(),
                  Figure(bench::SpreadOf(s.preempted), "%.2f").c_str(),
                  Figure(bench::SpreadOf(s.anchorNs), "%.0f").c_str(), Figure(bench::SpreadOf(s.ratio), "%.3f").c_str());
    }
    std::printf("goal: at most %.0f us of CPU per block at 460800: %s\n", kGoalUs,
                !measured ? "not measured in this run" : met ? "met" : "not met");
    return met ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "serial_io_cost: %s\n", e.what());
    return 1;
  }
}
