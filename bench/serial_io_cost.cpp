// Host CPU per byte of a real transfer over a pseudo-terminal, against one
// read() per byte over a pseudo-terminal carrying the same number of bytes.
//
//   serial_io_cost [image KiB, default 128] [baud, default 460800] [FIFO level, default 14]
//
// The transfer: qz7xx-sim (beside this program) serves a receiver running its
// application on a pseudo-terminal in real time; the host opens it through
// the system's serial backend and CSerialInterface, and hands a firmware
// container to the application (the upload without the install phase). The
// process's CPU time over the upload, divided by the bytes that crossed
// either way, is the figure. The anchor runs in the same process afterwards:
// a thread writes the same number of bytes into another pseudo-terminal and
// the measuring thread takes them with one read() each; its own CPU time per
// byte is the anchor. The FIFO level is qz7xx-sim's --fifo: how many received
// bytes the host's port gathers before handing them over (1: each byte).
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

struct Cost {
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
  const std::int64_t cpu0 = CpuNs(CLOCK_PROCESS_CPUTIME_ID), wall0 = CpuNs(CLOCK_MONOTONIC);
  if (upload)
    device.UploadFirmware(file, 0, 0, 100, false);
  else
    device.ProgramImage(file, section.payloadOffset, section.length, section.flashAddress, 0, 100);
  Cost cost;
  cost.cpuNs = CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  cost.wallS = static_cast<double>(CpuNs(CLOCK_MONOTONIC) - wall0) / 1e9;
  cost.bytes = counts->bytesIn + counts->bytesOut - before;
  port.Close();
  return cost;
}

// One read() per byte from a raw pseudo-terminal that a writer thread fills.
Cost ReadPerByte(std::uint64_t bytes) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no pseudo-terminal");
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0) throw std::runtime_error("cannot open the slave side");
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave, TCSANOW, &tio);
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
  ::close(slave);
  ::close(master);
  if (cost.bytes != bytes) throw std::runtime_error("the anchor's pseudo-terminal lost bytes");
  benchmark::DoNotOptimize(sum);
  return cost;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 0) : 128;
  const auto baud = static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 0) : 460800);
  const auto fifo = static_cast<unsigned>(argc > 3 ? std::strtoul(argv[3], nullptr, 0) : 14);
  try {
    const std::string sim = Beside(argv[0], "qz7xx-sim");
    struct Row {
      std::string name;
      Cost transfer, anchor;
    };
    std::vector<Row> rows;
    for (Transfer t : {Transfer::Upload, Transfer::FlashProgramming}) {
      Row row;
      row.name = (t == Transfer::Upload ? "upload at " : "flash programming at ") + std::to_string(baud);
      row.transfer = Run(sim, t, kib * 1024, baud, fifo);
      row.anchor = ReadPerByte(row.transfer.bytes);
      rows.push_back(row);
    }
    std::printf("%-30s %10s %10s %10s %12s %12s %10s  %s\n", ("transfer (pty, FIFO " + std::to_string(fifo) + ")").c_str(), "bytes", "CPU ms", "wall s",
                "CPU ns/byte", "anchor ns/B", "ratio", "goal");
    bool met = true;
    for (const Row& r : rows) {
      const double ratio = r.transfer.PerByte() / r.anchor.PerByte();
      met = met && ratio <= 0.05;
      std::printf("%-30s %10llu %10.2f %10.2f %12.1f %12.1f %10.4f  <= 0.05\n", r.name.c_str(),
                  static_cast<unsigned long long>(r.transfer.bytes), static_cast<double>(r.transfer.cpuNs) / 1e6,
                  r.transfer.wallS, r.transfer.PerByte(), r.anchor.PerByte(), ratio);
    }
    return met ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "serial_io_cost: %s\n", e.what());
    return 1;
  }
}
