// Process on Windows: CreateProcess with three anonymous pipes, no console
// for the program (so that a console's Ctrl-C reaches only its starter), a
// named semaphore for its Ctrl-C, and one thread per program that reads its
// output (a second its error stream, since these pipes cannot be waited on
// together) and waits for its end.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <thread>

#include "afx/Process.h"
#include "afx/win/WinCalls.h"

namespace afx {

struct Process::Impl {
  HANDLE process = nullptr;
  DWORD id = 0;
  HANDLE input = nullptr;
  std::mutex inputMutex;
  HANDLE interrupts = nullptr;
  std::thread reader;
};

namespace {

constexpr DWORD kKilledStatus = 1;

void CloseHandleOf(HANDLE& handle) {
  if (handle) ::CloseHandle(handle);
  handle = nullptr;
}

// Inheritable pipe ends exist only while this is held, so that a program
// that another thread starts meanwhile is handed none of them.
std::mutex& StartMutex() {
  static std::mutex mutex;
  return mutex;
}

// The command line that the program's runtime splits back into `argv`.
std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += arg;
      continue;
    }
    line += '"';
    size_t backslashes = 0;
    for (const char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes are literal unless a quote follows them.
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
  }
  return line;
}

// Reads `pipe` to its end, handing on each whole line without its "\n" or "\r\n".
void ReadLines(HANDLE pipe, Process::Stream stream, const Process::LineHandler& onLine, std::mutex& handing) {
  std::string pending;
  char buffer[65536];
  DWORD n = 0;
  auto hand = [&](std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::lock_guard<std::mutex> lock(handing);
    if (onLine) onLine(stream, line);
  };
  while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    pending.append(buffer, n);
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      hand(pending.substr(0, end));
  }
  if (!pending.empty()) hand(pending);
}

void ReadAll(Process::Impl* impl, HANDLE out, HANDLE err, const Process::LineHandler& onLine,
             const Process::ExitHandler& onExit) {
  std::mutex handing;
  std::thread errors(ReadLines, err, Process::Stream::kError, std::cref(onLine), std::ref(handing));
  ReadLines(out, Process::Stream::kOutput, onLine, handing);
  errors.join();
  ::CloseHandle(out);
  ::CloseHandle(err);
  ::WaitForSingleObject(impl->process, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(impl->process, &status);
  Process::Exit exit;
  // An exception's code (0xC0000005, ...) rather than a status the program chose.
  exit.signalled = (status & 0xC0000000u) == 0xC0000000u;
  exit.code = static_cast<int>(status);
  if (onExit) onExit(exit);
}

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  ~Pipe() {
    CloseHandleOf(read);
    CloseHandleOf(write);
  }
  // An inheritable pipe whose `ours` end (its read or its write end) is not.
  bool Make(HANDLE Pipe::*ours) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreatePipe(&read, &write, &inherit, 0) && ::SetHandleInformation(this->*ours, HANDLE_FLAG_INHERIT, 0);
  }
  HANDLE Take(HANDLE Pipe::*end) {
    HANDLE h = this->*end;
    this->*end = nullptr;
    return h;
  }
};

}  // namespace

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Process> Process::Start(const std::vector<std::string>& argv, LineHandler onLine, ExitHandler onExit,
                                        std::string* error) {
  if (argv.empty()) {
    *error = "no program to start";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  Pipe in, out, err;
  PROCESS_INFORMATION started{};
  {
    std::lock_guard<std::mutex> lock(StartMutex());
    if (!in.Make(&Pipe::write) || !out.Make(&Pipe::read) || !err.Make(&Pipe::read)) {
      *error = "cannot make a pipe: " + win::SystemMessage(::GetLastError());
      return nullptr;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read;
    startup.hStdOutput = out.write;
    startup.hStdError = err.write;
    std::string line = CommandLine(argv);
    // Suspended until its Ctrl-C semaphore exists, so that it finds it from its start.
    if (!::CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | DETACHED_PROCESS,
                          nullptr, nullptr, &startup, &started)) {
      *error = "cannot start " + argv[0] + ": " + win::SystemMessage(::GetLastError());
      return nullptr;
    }
    CloseHandleOf(in.read);
    CloseHandleOf(out.write);
    CloseHandleOf(err.write);
  }
  impl->process = started.hProcess;
  impl->id = started.dwProcessId;
  impl->interrupts =
      ::CreateSemaphoreA(nullptr, 0, LONG_MAX, win::InterruptSemaphoreName(started.dwProcessId).c_str());
  if (!impl->interrupts) {
    *error = "cannot start " + argv[0] + ": " + win::SystemMessage(::GetLastError());
    ::TerminateProcess(started.hProcess, kKilledStatus);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return nullptr;
  }
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  impl->input = in.Take(&Pipe::write);
  impl->reader = std::thread(ReadAll, impl.get(), out.Take(&Pipe::read), err.Take(&Pipe::read), std::move(onLine),
                             std::move(onExit));
  return std::unique_ptr<Process>(new Process(std::move(impl)));
}

Process::~Process() {
  CloseInput();
  if (impl_->reader.joinable()) impl_->reader.join();
  CloseHandleOf(impl_->interrupts);
  CloseHandleOf(impl_->process);
}

bool Process::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(impl_->inputMutex);
  for (size_t done = 0; done < text.size();) {
    if (!impl_->input) return false;
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    if (!::WriteFile(impl_->input, text.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

void Process::CloseInput() {
  std::lock_guard<std::mutex> lock(impl_->inputMutex);
  CloseHandleOf(impl_->input);
}

void Process::Interrupt() { ::ReleaseSemaphore(impl_->interrupts, 1, nullptr); }

void Process::Kill() { ::TerminateProcess(impl_->process, kKilledStatus); }

int Process::Id() const { return static_cast<int>(impl_->id); }

std::string Process::Exit::Describe() const {
  if (!signalled) return "exit status " + std::to_string(code);
  const unsigned status = static_cast<unsigned>(code);
  const char* name = status == 0xC0000005u   ? "access violation"
                     : status == 0xC00000FDu ? "stack overflow"
                     : status == 0xC000001Du ? "illegal instruction"
                     : status == 0xC0000094u ? "integer division by zero"
                     : status == 0xC0000409u ? "stack buffer overrun"
                     : status == 0xC000013Au ? "Ctrl-C"
                                             : nullptr;
  char text[64];
  std::snprintf(text, sizeof text, "exception 0x%08X", status);
  return text + (name ? " (" + std::string(name) + ")" : "");
}

}  // namespace afx
