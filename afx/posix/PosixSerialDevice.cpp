// The termios backend. It uses the kernel's termios2 interface throughout so
// that every rate of the baud table, the non-standard 14400, 56000, 128000 and
// 256000 included, is set the same way (BOTHER with the rate itself).
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "afx/Clock.h"
#include "afx/SerialDevice.h"
#include "afx/Trace.h"

namespace afx {

namespace {

// One place that turns errno into the Win32 code a caller acts on; the
// system's own text goes to the trace.
DWORD ErrnoToWin32(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENODEV:
    case ENXIO: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL:
    case ENOTTY: return ERROR_INVALID_PARAMETER;
    case EIO: return ERROR_GEN_FAILURE;
    default: return ERROR_GEN_FAILURE;
  }
}

// The slave end of a pseudo-terminal (the virtual receiver's line). Its
// terminal lives as long as the master is open, not as long as its own
// descriptors, so an exclusive flag left by a holder that was killed would
// refuse every later open by an unprivileged user until the master closed.
bool IsPseudoTerminalSlave(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  constexpr unsigned kFirstSlaveMajor = 136, kSlaveMajors = 8;  // the kernel's Unix98 slave range
  return major(st.st_rdev) >= kFirstSlaveMajor && major(st.st_rdev) < kFirstSlaveMajor + kSlaveMajors;
}

class PosixSerialDevice : public SerialDevice {
 public:
  static constexpr std::int64_t kDrainMarginNs = 100'000'000;

  PosixSerialDevice(int fd, std::string path, bool pseudoTerminal)
      : fd_(fd), path_(std::move(path)), pseudoTerminal_(pseudoTerminal) {
    buffer_.resize(4096);
  }
  ~PosixSerialDevice() override { Close(); }

  std::string Path() const override { return path_; }

  bool SetLineSettings(const LineSettings& s) override {
    termios2 tio{};
    if (!Get(&tio)) return false;
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &= ~(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | (CBAUD << IBSHIFT));
    tio.c_cflag |= CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    switch (s.byteSize) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      default: tio.c_cflag |= CS8; break;
    }
    switch (s.parity) {
      case 1: tio.c_cflag |= PARENB | PARODD; break;
      case 2: tio.c_cflag |= PARENB; break;
      case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case 4: tio.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    // The UART has no one-and-a-half stop bits at 8 data bits; two is the nearest.
    if (s.stopBits != 0) tio.c_cflag |= CSTOPB;
    if (s.outxCtsFlow || s.rtsControl == 2) tio.c_cflag |= CRTSCTS;
    if (s.outX) tio.c_iflag |= IXON;
    if (s.inX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = s.baudRate;
    tio.c_ospeed = s.baudRate;
    if (ioctl(fd_, TCSETS2, &tio) != 0) return Fail("TCSETS2");
    settings_ = s;
    // DTR and RTS follow the control modes; handshake modes keep the line raised.
    Modem(TIOCM_DTR, s.dtrControl != 0);
    if (!(tio.c_cflag & CRTSCTS)) Modem(TIOCM_RTS, s.rtsControl != 0);
    return true;
  }

  bool GetLineSettings(LineSettings* s) override {
    termios2 tio{};
    if (!Get(&tio)) return false;
    *s = settings_;
    s->baudRate = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
      case CS5: s->byteSize = 5; break;
      case CS6: s->byteSize = 6; break;
      case CS7: s->byteSize = 7; break;
      default: s->byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) s->parity = 0;
    else if (tio.c_cflag & CMSPAR) s->parity = (tio.c_cflag & PARODD) ? 3 : 4;
    else s->parity = (tio.c_cflag & PARODD) ? 1 : 2;
    if (!(tio.c_cflag & CSTOPB)) s->stopBits = 0;
    else if (s->stopBits == 0) s->stopBits = 2;
    s->outX = (tio.c_iflag & IXON) != 0;
    s->inX = (tio.c_iflag & IXOFF) != 0;
    return true;
  }

  bool IsSpeedSupported(DWORD baud) override {
    // Probe: set the rate, read it back, restore what was there.
    termios2 saved{};
    if (!Get(&saved)) return false;
    termios2 probe = saved;
    probe.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    probe.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    probe.c_ispeed = baud;
    probe.c_ospeed = baud;
    bool ok = ioctl(fd_, TCSETS2, &probe) == 0;
    termios2 check{};
    ok = ok && ioctl(fd_, TCGETS2, &check) == 0 && check.c_ospeed == baud;
    ioctl(fd_, TCSETS2, &saved);
    return ok;
  }

  // An output purge discards only what no write has handed over yet, and
  // every write that returned has handed its bytes over: a real port's
  // output is drained first (a write may have given up draining at its own
  // time-out), and a pseudo-terminal's output is not flushed at all, since
  // there that flush takes back what the other side has not read yet.
  bool Purge(DWORD flags) override {
    if (fd_ < 0) return Fail("purge", EBADF);
    const bool rx = flags & (PURGE_RXABORT | PURGE_RXCLEAR);
    bool tx = flags & (PURGE_TXABORT | PURGE_TXCLEAR);
    if (tx) {
      DrainBeforeLeaving();
      tx = !pseudoTerminal_;
    }
    if (rx) {
      head_ = tail_ = 0;
      expected_ = 0;
    }
    if (tx || rx) {
      const int what = (tx && rx) ? TCIOFLUSH : tx ? TCOFLUSH : TCIFLUSH;
      if (ioctl(fd_, TCFLSH, what) != 0) return Fail("TCFLSH");
    }
    return true;
  }

  bool SetBreak(bool on) override {
    if (fd_ < 0) return Fail("break", EBADF);
    if (ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) return Fail("TIOCSBRK");
    return true;
  }

  bool EscapeFunction(DWORD function) override {
    switch (function) {
      case SETDTR: return Modem(TIOCM_DTR, true);
      case CLRDTR: return Modem(TIOCM_DTR, false);
      case SETRTS: return Modem(TIOCM_RTS, true);
      case CLRRTS: return Modem(TIOCM_RTS, false);
      default: return Fail("escape", EINVAL);
    }
  }

  bool ClearError(DWORD* errors) override {
    if (errors) *errors = 0;
    return fd_ >= 0;
  }

  bool Write(const void* data, DWORD count, DWORD* written) override {
    *written = 0;
    if (fd_ < 0) return Fail("write", EBADF);
    const COMMTIMEOUTS& t = Timeouts();
    const std::int64_t limitMs = static_cast<std::int64_t>(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
    Clock& clock = GetClock();
    const std::int64_t deadline = limitMs > 0 ? clock.NowNs() + limitMs * 1'000'000 : INT64_MAX;
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (*written < count) {
      const ssize_t n = ::write(fd_, p + *written, count - *written);
      if (n > 0) {
        *written += static_cast<DWORD>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("write");
      const std::int64_t now = clock.NowNs();
      if (now >= deadline) {
        SetLastError(ERROR_TIMEOUT);
        return true;  // a short count tells the caller
      }
      pollfd pfd{fd_, POLLOUT, 0};
      ::poll(&pfd, 1, deadline == INT64_MAX ? 1000 : RealMs(deadline - now, 1000));
    }
    // A pseudo-terminal has no transmitter: written bytes are at the other
    // side at once, and asking costs a system call per write.
    if (!pseudoTerminal_) Drain(deadline);
    return true;
  }

  int PollFd() const override { return fd_; }
  void ExpectInput(DWORD bytes) override { expected_ = bytes; }
  DWORD Held() const override { return static_cast<DWORD>(tail_ - head_); }

  // Waits until what the driver still queues has gone out, for as long as
  // those bytes take on the wire and a little more, so that a line held up
  // by flow control cannot stall the caller.
  void DrainBeforeLeaving() {
    if (pseudoTerminal_) return;
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    const std::int64_t nsPerByte = 10'000'000'000LL / std::max<DWORD>(settings_.baudRate, 300);
    Drain(GetClock().NowNs() + 2 * queued * nsPerByte + kDrainMarginNs);
  }

  // A write completes once its bytes have left the UART, as callers expect of
  // a serial driver: a purge or close right after it (a reset frame is the
  // last thing many runs send) must not take them back. The wait is paced by
  // the bytes still queued and bounded by the write's own time-out.
  void Drain(std::int64_t deadline) {
    Clock& clock = GetClock();
    const std::int64_t nsPerByte = 10'000'000'000LL / std::max<DWORD>(settings_.baudRate, 300);
    for (;;) {
      int queued = 0;
      if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
      const std::int64_t now = clock.NowNs();
      if (now >= deadline) return;
      // The queue empties no sooner than its bytes take on the wire; one wait
      // for all of them, not a wake-up every few milliseconds.
      const std::int64_t slice = std::max<std::int64_t>(queued * nsPerByte, 100'000);
      clock.SleepUntilNs(std::min(deadline, now + slice));
    }
  }

  void Close() override {
    if (fd_ < 0) return;
    DrainBeforeLeaving();
    head_ = tail_ = 0;
    // The exclusive flag outlives this descriptor on a terminal that stays
    // allocated (a pseudo-terminal whose master is open): clear it, or the
    // next open by an unprivileged user fails with EBUSY.
    ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }

 protected:
  bool ReadAvailable(std::uint8_t* out, DWORD max, DWORD* got) override {
    *got = 0;
    if (fd_ < 0) return Fail("read", EBADF);
    if (head_ == tail_ && !Fill()) return false;
    const size_t n = std::min<size_t>(max, tail_ - head_);
    std::memcpy(out, buffer_.data() + head_, n);
    head_ += n;
    *got = static_cast<DWORD>(n);
    expected_ = expected_ > n ? expected_ - static_cast<DWORD>(n) : 0;
    return true;
  }

  bool WaitReadable(std::int64_t deadlineNs) override {
    if (fd_ < 0) return Fail("poll", EBADF);
    if (head_ != tail_) return true;
    Clock& clock = GetClock();
    const std::int64_t now = clock.NowNs();
    if (deadlineNs <= now) return true;
    pollfd pfd{fd_, POLLIN, 0};
    const int rc = ::poll(&pfd, 1, RealMs(deadlineNs - now, 60'000));
    if (rc < 0 && errno != EINTR) return Fail("poll");
    if (rc > 0 && (pfd.revents & POLLIN)) return TakeExpected(deadlineNs);
    // Nothing will come; wait out the time-out instead of spinning.
    if (rc > 0 && (pfd.revents & (POLLHUP | POLLERR))) clock.SleepUntilNs(deadlineNs);
    return true;
  }

  // Input has begun: take it, and while less than the caller expects has
  // come, sleep for the wire time of the rest instead of waking for every
  // piece of it the port hands over. Stops as soon as a sleep brings nothing
  // new (the reply was shorter), and sleeps at most kPacedBytes byte times at
  // once, so that an expectation taken from a corrupt length costs little.
  bool TakeExpected(std::int64_t deadlineNs) {
    constexpr DWORD kPacedBytes = 256;
    if (!Fill()) return false;
    if (head_ == tail_) return true;  // woken with nothing to take
    Clock& clock = GetClock();
    const std::int64_t nsPerByte = 11'000'000'000LL / std::max<DWORD>(settings_.baudRate, 300);
    while (tail_ - head_ < expected_ && tail_ < buffer_.size()) {
      const std::int64_t now = clock.NowNs();
      const DWORD rest = std::min(expected_ - static_cast<DWORD>(tail_ - head_), kPacedBytes);
      const std::int64_t until = std::min(deadlineNs, now + rest * nsPerByte);
      if (until <= now) break;
      clock.SleepUntilNs(until);
      const size_t before = tail_;
      if (!Fill()) return false;
      if (tail_ == before) break;
    }
    return true;
  }

 private:
  // Appends what the system holds to the buffer, without waiting.
  bool Fill() {
    if (head_ == tail_) head_ = tail_ = 0;
    const ssize_t n = ::read(fd_, buffer_.data() + tail_, buffer_.size() - tail_);
    // A pseudo-terminal whose other side is gone reads EIO; it is a dead line, not data.
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("read");
    if (n > 0) tail_ += static_cast<size_t>(n);
    return true;
  }

  // A poll() time-out for `clockNs` of the afx clock, which a scaled run
  // makes pass faster or slower than real time: whole milliseconds, rounded up.
  static int RealMs(std::int64_t clockNs, std::int64_t capMs) {
    const std::int64_t ns = GetClock().RealNs(clockNs);
    return static_cast<int>(std::min<std::int64_t>((ns + 999'999) / 1'000'000, capMs));
  }

  bool Get(termios2* tio) {
    if (fd_ < 0) return Fail("get", EBADF);
    if (ioctl(fd_, TCGETS2, tio) != 0) return Fail("TCGETS2");
    return true;
  }

  bool Modem(int bit, bool on) {
    if (fd_ < 0) return Fail("modem", EBADF);
    // Pseudo-terminals have no modem lines; that is not an error for us.
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && errno != EINVAL && errno != ENOTTY && errno != EIO)
      return Fail("TIOCMBIS");
    return true;
  }

  bool Fail(const char* what, int err = -1) {
    if (err < 0) err = errno;
    AfxTrace("serial %s: %s failed: %s", path_.c_str(), what, std::strerror(err));
    SetLastError(ErrnoToWin32(err));
    return false;
  }

  int fd_;
  std::string path_;
  bool pseudoTerminal_;
  LineSettings settings_;
  std::vector<std::uint8_t> buffer_;
  size_t head_ = 0;
  size_t tail_ = 0;
  DWORD expected_ = 0;  // bytes the caller still waits for (ExpectInput)
};

}  // namespace

std::string SystemComPortPath(int number) { return "/dev/ttyS" + std::to_string(number - 1); }

std::unique_ptr<SerialDevice> OpenSystemSerialDevice(const std::string& path, DWORD* error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    AfxTrace("serial %s: open failed: %s", path.c_str(), std::strerror(err));
    RecordSerialOpenFailure(path, err);
    *error = ErrnoToWin32(err);
    return nullptr;
  }
  // Exclusive: an advisory lock that every cooperating program honours (the
  // kernel drops it with a killed holder's descriptor), and TIOCEXCL for the
  // others (root bypasses the latter, not the former). A pseudo-terminal gets
  // the lock only: its exclusive flag would outlive a killed holder.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    AfxTrace("serial %s: in use by another program", path.c_str());
    RecordSerialOpenFailure(path, EWOULDBLOCK);
    ::close(fd);
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) {
    AfxTrace("serial %s: not a terminal device", path.c_str());
    RecordSerialOpenFailure(path, ENOTTY);
    ::close(fd);
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  const bool pseudoTerminal = IsPseudoTerminalSlave(fd);
  if (!pseudoTerminal) ioctl(fd, TIOCEXCL);
  RecordSerialOpenFailure(path, 0);
  *error = 0;
  return std::make_unique<PosixSerialDevice>(fd, path, pseudoTerminal);
}

}  // namespace afx
