// Small services of the operating system that portable code asks for by
// meaning, each supplied by the build's backend (afx/posix/ or afx/win/).
// Standard types only: the Windows backend includes this beside <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace afx {

// Calendar time of `seconds` in the local zone / in UTC; false when the
// system cannot tell.
bool LocalCalendarTime(std::time_t seconds, std::tm* out);
bool UtcCalendarTime(std::time_t seconds, std::tm* out);

// The canonical absolute path of an existing file (links followed), or "".
std::string RealPath(const std::string& path);
// The value of an environment variable, or "" when unset.
std::string GetEnvironment(const char* name);
// Where this user's settings and data live: $XDG_CONFIG_HOME or ~/.config
// and $XDG_DATA_HOME or ~/.local/share; %APPDATA% and %LOCALAPPDATA% on
// Windows. "" when the system names none.
std::string UserConfigFolder();
std::string UserDataFolder();
// Creates `path` and the folders above it; true when it exists afterwards.
// On failure *err holds the errno value.
bool CreateFolders(const std::string& path, int* err = nullptr);
// Whether anything exists at `path`.
bool PathExists(const std::string& path);
// Whether `path` names a character device (a serial port); false with *err
// (errno) set when nothing is there.
bool IsCharacterDevice(const std::string& path, int* err);
// The names in a folder (without "." and ".."); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// This process's id, and whether a process with id `pid` still exists.
long CurrentProcessId();
bool ProcessExists(long pid);
// The running program's own file.
std::string ExecutablePath();
// Whether the C stream is a terminal (a console on Windows). For output on
// Windows, a console that takes the escape sequences of a terminal, which
// this turns on where the console has them.
bool IsTerminal(std::FILE* stream);
// The width in columns of the terminal (console window) the stream shows
// in; 0 when it is none or the system cannot tell.
int TerminalColumns(std::FILE* stream);
// Reads what has come of the stream's file, past its C buffer: waits for at
// least a byte; 0 at its end, -1 on a failure.
long ReadAvailable(std::FILE* stream, char* buffer, std::size_t size);

}  // namespace afx
