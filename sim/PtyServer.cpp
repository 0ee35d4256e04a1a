#include "sim/PtyServer.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "afx/Clock.h"

extern "C" {
int posix_openpt(int flags);
int grantpt(int fd);
int unlockpt(int fd);
int ptsname_r(int fd, char* buf, std::size_t buflen);
}

namespace sim {

namespace {

// The slave side's settings as the receiver's line sees them.
bool SlaveSettings(int fd, afx::LineSettings* s) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  static const struct {
    speed_t code;
    std::uint32_t baud;
  } speeds[] = {{B300, 300},     {B600, 600},     {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
                {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
                {B230400, 230400}, {B460800, 460800}};
  const speed_t code = t.c_cflag & CBAUD;
  std::uint32_t baud = t.c_ospeed;
  if (code != BOTHER)
    for (const auto& sp : speeds)
      if (sp.code == code) baud = sp.baud;
  s->baudRate = baud;
  s->byteSize = (t.c_cflag & CSIZE) == CS7 ? 7 : (t.c_cflag & CSIZE) == CS6 ? 6 : (t.c_cflag & CSIZE) == CS5 ? 5 : 8;
  s->parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & CMSPAR) ? ((t.c_cflag & PARODD) ? 3 : 4) : ((t.c_cflag & PARODD) ? 1 : 2);
  s->stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  return true;
}

}  // namespace

PtyServer::PtyServer(const Profile& profile) : receiver_(profile) {}

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start(std::string* error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  char name[128] = {};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    Stop();
    return false;
  }
  slavePath_ = name;
  // Held open so that the master keeps working while no host has the port open.
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    *error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    Stop();
    return false;
  }
  struct termios2 t {};
  ioctl(slave_, TCGETS2, &t);
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = static_cast<tcflag_t>((t.c_cflag & ~(CSIZE | PARENB | CSTOPB | CBAUD)) | CS8 | CREAD | CLOCAL | B9600);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ioctl(slave_, TCSETS2, &t);
  const int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  running_ = true;
  thread_ = std::thread([this] { Pump(); });
  return true;
}

void PtyServer::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

void PtyServer::Pump() {
  afx::Clock& clock = afx::GetClock();
  SimLine& line = receiver_.Line();
  afx::LineSettings host = line.Settings(Side::Host);
  // Where the line stands when serving begins; later changes follow as the host makes them.
  receiver_.GetTranscript().Settings(clock.NowNs(), host);
  while (running_) {
    const std::int64_t now = clock.NowNs();
    afx::LineSettings s = host;
    if (SlaveSettings(slave_, &s) && !(s == host)) {
      line.SetSettings(Side::Host, s, now);
      receiver_.GetTranscript().Settings(now, s);
      host = s;
    }
    receiver_.RunUntil(now);
    line.Deliver(Side::Host, now);
    // A host port does not see each byte as it lands: its UART raises one
    // interrupt when the FIFO reaches its level or when the line has been
    // quiet for four byte times.
    const std::int64_t quietAt = line.LastArrival(Side::Host) + 4 * SimLine::ByteTimeNs(host.baudRate);
    if (line.Available(Side::Host) >= fifoLevel_ || (line.Available(Side::Host) > 0 && now >= quietAt)) {
      std::uint8_t out[512];
      std::size_t n = 0;
      while ((n = line.Take(Side::Host, out, sizeof out)) > 0) {
        std::size_t done = 0;
        while (done < n) {
          const ssize_t w = ::write(master_, out + done, n - done);
          if (w <= 0) break;
          done += static_cast<std::size_t>(w);
        }
      }
    }
    // Not a wake-up for each byte the host sent: the receiver takes them all
    // at their own times once the last has arrived.
    std::int64_t next = std::min(line.NextArrival(Side::Host), receiver_.NextWakeNs());
    if (line.Available(Side::Host) > 0) next = std::min(next, quietAt);
    // Wake at least every 10 ms to notice the host changing its settings. The
    // wait is kept to the nanosecond: rounded down to whole milliseconds it
    // would spin through every byte time shorter than one.
    const std::int64_t waitNs = std::clamp<std::int64_t>(next - clock.NowNs(), 0, 10'000'000);
    const timespec wait{static_cast<time_t>(waitNs / 1'000'000'000), static_cast<long>(waitNs % 1'000'000'000)};
    pollfd p{master_, POLLIN, 0};
    if (::ppoll(&p, 1, &wait, nullptr) > 0 && (p.revents & POLLIN)) {
      std::uint8_t in[512];
      const ssize_t r = ::read(master_, in, sizeof in);
      if (r > 0) {
        // The host may have changed its settings just before writing.
        const std::int64_t at = clock.NowNs();
        if (SlaveSettings(slave_, &s) && !(s == host)) {
          receiver_.RunUntil(at);
          line.SetSettings(Side::Host, s, at);
          receiver_.GetTranscript().Settings(at, s);
          host = s;
        }
        line.Send(Side::Host, in, static_cast<std::size_t>(r), at);
      }
    }
  }
}

}  // namespace sim
