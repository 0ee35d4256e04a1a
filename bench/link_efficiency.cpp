// Link efficiency in virtual time: how close flash programming through the
// monitor and the application-mode upload come to stop-and-wait over the
// bytes that actually crossed the line.
//
// Each transfer runs against the in-process virtual receiver. Its transcript
// gives the bytes each way and the exchanges (a run of host bytes followed by
// the receiver's answer). The bound for a transfer is
//   (all bytes on the wire) x 10 bits / baud + turnaround x exchanges + prescribed waits,
// the time it would take if the host lost nothing between a reply and its
// next request. The figure is the transfer's virtual duration over that bound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "afx/Clock.h"
#include "afx/Module.h"
#include "afx/Registry.h"
#include "afx/Ui.h"
#include "device/GarnexInterface.h"
#include "firmware/TimgFile.h"
#include "port/SerialInterface.h"
#include "res/Resources.h"
#include "sim/ImageWriter.h"
#include "sim/SimAttach.h"
#include "sim/SimSerialDevice.h"
#include "support/RecordingWindow.h"

namespace {

constexpr std::uint32_t kAppBase = 0x02440000;
constexpr std::uint32_t kMonitorBase = 0x02400000;
// Waits the upload loop must keep: 2 ms between a data block and reading its reply.
constexpr std::int64_t kUploadBlockWaitNs = 2'000'000;

struct Figure {
  std::string transfer;
  std::uint32_t baud = 0;
  std::size_t hostBytes = 0, receiverBytes = 0, exchanges = 0;
  double measuredS = 0, boundS = 0, waitsS = 0;
};

struct Counts {
  std::size_t hostBytes = 0, receiverBytes = 0, exchanges = 0;
};

// Exchanges are counted where the direction turns from the receiver back to
// the host, so an ACK followed by the reply is one exchange, as is a request
// written in several pieces.
Counts Count(const sim::Transcript& transcript) {
  Counts c;
  bool hostTalking = false;
  for (const auto& e : transcript.Entries()) {
    if (e.bytes.empty()) continue;
    if (e.kind == sim::Transcript::Kind::HostToReceiver) {
      c.hostBytes += e.bytes.size();
      hostTalking = true;
    } else if (e.kind == sim::Transcript::Kind::ReceiverToHost) {
      c.receiverBytes += e.bytes.size();
      if (hostTalking) ++c.exchanges;
      hostTalking = false;
    }
  }
  return c;
}

// One receiver at `baud` on a COM port, a port opened on it, and the plug-in's
// receiver interface over that port, all in virtual time.
class Rig {
 public:
  Rig(const std::string& profileText, std::uint32_t baud) : baud_(baud) {
    res::Install(&module_);
    module_.appName = "DevQZ710";
    module_.m_pszAppName = module_.appName.c_str();
    afx::SetRegistryPath(dir_.File("registry.reg"));
    sim::Profile profile;
    std::string error;
    if (!sim::Profile::Parse(profileText, &profile, &error)) throw std::runtime_error("profile: " + error);
    turnaroundNs_ = static_cast<std::int64_t>(profile.turnaroundUs) * 1000;
    rx_ = sim::Attach(profile, 7, &error);
    if (!rx_) throw std::runtime_error("attach: " + error);
    const int code = CLSDeviceInterface::BaudCodeFromRate(baud);
    if (code < 0) throw std::runtime_error("no speed code for " + std::to_string(baud));
    port_.Open(static_cast<UINT>(rx_->ComPort()), 1, 0, 0, code);
    params_ = OperationParams{rx_->ComPort(), 0, &window_, &cancel_};
    device_ = std::make_unique<CGarnexInterface>(&port_, params_);
  }
  ~Rig() {
    device_.reset();
    port_.Close();
    sim::Detach(rx_);
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  CGarnexInterface& Device() { return *device_; }
  sim::VirtualReceiver& Receiver() { return rx_->Receiver(); }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return bench::WriteFile(dir_.File(name), bytes);
  }

  // Runs `transfer` with a fresh transcript and measures it against the bound.
  Figure Measure(const std::string& name, const std::function<void()>& transfer,
                 const std::function<std::int64_t(const Counts&)>& waitsNs) {
    Receiver().GetTranscript().Clear();
    const std::int64_t start = clock_.NowNs();
    transfer();
    const std::int64_t end = clock_.NowNs();
    const Counts c = Count(Receiver().GetTranscript());
    Figure f;
    f.transfer = name;
    f.baud = baud_;
    f.hostBytes = c.hostBytes;
    f.receiverBytes = c.receiverBytes;
    f.exchanges = c.exchanges;
    f.measuredS = static_cast<double>(end - start) / 1e9;
    const double wire = static_cast<double>(c.hostBytes + c.receiverBytes) * 10.0 / baud_;
    f.waitsS = static_cast<double>(waitsNs(c)) / 1e9;
    f.boundS = wire + static_cast<double>(turnaroundNs_) / 1e9 * static_cast<double>(c.exchanges) + f.waitsS;
    return f;
  }

 private:
  std::uint32_t baud_;
  std::int64_t turnaroundNs_ = 0;
  afx::VirtualClock clock_;
  afx::ScopedClock scopedClock_{clock_};
  AFX_MODULE_STATE module_;
  AFX_MAINTAIN_STATE keepModule_{&module_};
  bench::ScratchDir dir_;
  RecordingWindow window_;
  afx::Event cancel_;
  std::shared_ptr<sim::SimAttachment> rx_;
  CSerialInterface port_;
  OperationParams params_{};
  std::unique_ptr<CGarnexInterface> device_;
};

std::vector<std::uint8_t> Application(std::size_t size) {
  sim::IdentityBlock id;
  id.name = "KELVOR ";
  id.version = 420;
  id.imageSize = static_cast<std::uint32_t>(size);
  std::vector<std::uint8_t> app = sim::ImageWriter::Identity(id);
  while (app.size() < size) app.push_back(static_cast<std::uint8_t>(app.size() * 7 % 251));
  return app;
}

std::string ProfileAt(const char* mode, std::uint32_t baud) {
  const std::string b = std::to_string(baud);
  return std::string("mode = ") + mode + "\nport.baud = " + b + "\nmonitor.baud = " + b +
         "\nproduct.code = 100\nproduct.id = 100\nradio.pipe = nak\n";
}

// Erases the sectors under an application section: per sector one erase
// request, then status polls each followed by the loader's 333 + 666 ms.
Figure Erase(std::uint32_t baud, std::size_t appSize) {
  Rig rig(ProfileAt("monitor", baud), baud);
  CLSDeviceInterface::SectorList sectors;
  rig.Device().BuildSectorList(kAppBase, kAppBase + static_cast<DWORD>(appSize), sectors);
  return rig.Measure(
      "erase", [&] { rig.Device().EraseFlash(sectors, 0, 5); },
      [&](const Counts& c) {
        const std::int64_t polls = static_cast<std::int64_t>(c.exchanges - sectors.size());
        return polls * (333 + 666) * std::int64_t{1'000'000};
      });
}

// Writes the application section of a container into flash, as the monitor
// route of an update does after its erase.
Figure FlashProgramming(std::uint32_t baud, std::size_t appSize) {
  Rig rig(ProfileAt("monitor", baud), baud);
  const std::vector<std::uint8_t> app = Application(appSize);
  std::vector<std::uint8_t> monitor(4096, 0x5A);
  const std::string path = rig.Write("image.timg", sim::ImageWriter::Timg({{0, 3, 21, kMonitorBase, monitor},
                                                                             {2, 4, 20, kAppBase, app}}));
  CTimgFile file(path.c_str());
  TimgSection section{};
  if (!file.FindApplicationSection(section)) throw std::runtime_error("no application section");
  Figure f = rig.Measure(
      "flash programming",
      [&] {
        rig.Device().ProgramImage(file, section.payloadOffset, section.length, section.flashAddress, 5, 100);
      },
      [](const Counts&) { return std::int64_t{0}; });
  if (rig.Receiver().Flash().Read(kAppBase, app.size()) != app) throw std::runtime_error("flash differs from the image");
  return f;
}

// Hands a container to the running application without the install phase,
// whose waits belong to the receiver.
Figure ApplicationUpload(std::uint32_t baud, std::size_t appSize) {
  Rig rig(ProfileAt("application", baud), baud);
  const std::vector<std::uint8_t> app = Application(appSize);
  const std::vector<std::uint8_t> container = sim::ImageWriter::Timg({{2, 4, 20, kAppBase, app}});
  const std::string path = rig.Write("image.timg", container);
  CTimgFile file(path.c_str());
  const std::size_t blocks = (container.size() + 1023) / 1024;
  return rig.Measure(
      "application-mode upload",
      [&] { rig.Device().UploadFirmware(file, 0, 0, 100, false); },
      // Every data block, each sent once when nothing fails.
      [&](const Counts&) { return static_cast<std::int64_t>(blocks) * kUploadBlockWaitNs; });
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t appSize = 256 * 1024;
  if (argc > 1) appSize = static_cast<std::size_t>(std::strtoul(argv[1], nullptr, 0));
  std::vector<Figure> figures;
  try {
    for (std::uint32_t baud : {115200u, 460800u}) {
      figures.push_back(Erase(baud, appSize));
      figures.push_back(FlashProgramming(baud, appSize));
      figures.push_back(ApplicationUpload(baud, appSize));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "link_efficiency: %s\n", e.what());
    return 1;
  }
  std::printf("%-24s %7s %9s %9s %9s %11s %11s %9s %8s %10s  %s\n", "transfer", "baud", "host B", "rx B",
              "exchanges", "measured s", "bound s", "waits s", "ratio", "no waits", "goal");
  bool met = true;
  for (const Figure& f : figures) {
    const double ratio = f.measuredS / f.boundS;
    met = met && ratio <= 1.01;
    // The same transfer against the bound without the waits: below 1 would mean the
    // count of bytes or exchanges is wrong; above the first ratio, the waits overlapped the line.
    // Shown only where the waits are a small part, where it says something.
    char bare[32] = "n/a";
    if (f.waitsS < 0.5 * f.boundS) std::snprintf(bare, sizeof bare, "%.4f", f.measuredS / (f.boundS - f.waitsS));
    std::printf("%-24s %7u %9zu %9zu %9zu %11.3f %11.3f %9.3f %8.4f %10s  <= 1.01\n", f.transfer.c_str(), f.baud,
                f.hostBytes, f.receiverBytes, f.exchanges, f.measuredS, f.boundS, f.waitsS, ratio, bare);
  }
  return met ? 0 : 2;
}
