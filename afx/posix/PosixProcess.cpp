// Process on POSIX systems: fork and exec, three pipes, one thread per
// program that polls its two output pipes and reaps it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "afx/Process.h"

namespace afx {

struct Process::Impl {
  pid_t pid = -1;
  int input = -1;
  std::mutex inputMutex;
  // Guards `reaped`: once the program is reaped its id may name another.
  std::mutex pidMutex;
  bool reaped = false;
  std::thread reader;
};

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Hands on every whole line of `pending`, keeping the rest.
void Lines(std::string& pending, Process::Stream stream, const Process::LineHandler& onLine) {
  for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
    if (onLine) onLine(stream, pending.substr(0, end));
    pending.erase(0, end + 1);
  }
}

void ReadAll(Process::Impl* impl, int out, int err, const Process::LineHandler& onLine,
             const Process::ExitHandler& onExit) {
  std::string pending[2];
  int fds[2] = {out, err};
  char buffer[65536];
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      const auto stream = i == 0 ? Process::Stream::kOutput : Process::Stream::kError;
      if (n <= 0) {
        if (!pending[i].empty() && onLine) onLine(stream, pending[i]);
        CloseFd(fds[i]);
        continue;
      }
      pending[i].append(buffer, static_cast<size_t>(n));
      Lines(pending[i], stream, onLine);
    }
  }
  CloseFd(fds[0]);
  CloseFd(fds[1]);
  // Waits for the end without reaping, so that no signal meant for the
  // program can reach another that takes its id.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(impl->pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  int status = 0;
  {
    std::lock_guard<std::mutex> lock(impl->pidMutex);
    while (::waitpid(impl->pid, &status, 0) < 0 && errno == EINTR) {
    }
    impl->reaped = true;
  }
  Process::Exit exit;
  exit.signalled = WIFSIGNALED(status);
  exit.code = exit.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  if (onExit) onExit(exit);
}

}  // namespace

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Process> Process::Start(const std::vector<std::string>& argv, LineHandler onLine, ExitHandler onExit,
                                        std::string* error) {
  if (argv.empty()) {
    *error = "no program to start";
    return nullptr;
  }
  // A program that has gone must not end this one when it is written to.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    ::close(in[0]);
    ::close(in[1]);
    return nullptr;
  }
  std::vector<char*> args;
  std::vector<std::string> copy = argv;
  for (std::string& a : copy) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    // Signals this program blocks or ignores are the child's own again.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // SIGPIPE stays ignored: a program whose starter has gone runs on to its
    // end instead of dying at its next line of output.
    ::signal(SIGINT, SIG_DFL);
    ::execv(args[0], args.data());
    const std::string text = "cannot start " + argv[0] + ": " + std::strerror(errno) + "\n";
    (void)!::write(STDERR_FILENO, text.data(), text.size());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (pid < 0) {
    *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->pid = pid;
  impl->input = in[1];
  impl->reader = std::thread(ReadAll, impl.get(), out[0], err[0], std::move(onLine), std::move(onExit));
  return std::unique_ptr<Process>(new Process(std::move(impl)));
}

Process::~Process() {
  CloseInput();
  if (impl_->reader.joinable()) impl_->reader.join();
}

bool Process::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(impl_->inputMutex);
  for (size_t done = 0; done < text.size();) {
    if (impl_->input < 0) return false;
    const ssize_t n = ::write(impl_->input, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void Process::CloseInput() {
  std::lock_guard<std::mutex> lock(impl_->inputMutex);
  CloseFd(impl_->input);
}

void Process::Interrupt() {
  std::lock_guard<std::mutex> lock(impl_->pidMutex);
  if (!impl_->reaped) ::kill(impl_->pid, SIGINT);
}

void Process::Kill() {
  std::lock_guard<std::mutex> lock(impl_->pidMutex);
  if (!impl_->reaped) ::kill(impl_->pid, SIGKILL);
}

int Process::Id() const { return impl_->pid; }

std::string Process::Exit::Describe() const {
  if (!signalled) return "exit status " + std::to_string(code);
  const char* name = ::strsignal(code);
  return "signal " + std::to_string(code) + (name ? " (" + std::string(name) + ")" : "");
}

}  // namespace afx
