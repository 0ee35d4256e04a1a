// The Windows calls that backends written against the framework's own
// Windows-style types need. Those types and <windows.h> cannot meet in one
// file, so these take standard types only; WinCalls.cpp makes the calls.
#pragma once
#include <cstdint>
#include <string>

namespace afx::win {

// errno for a Win32 error code: the one place the backends map them.
int ErrnoFromWin32(std::uint32_t error);
// The thread's last Win32 error code.
std::uint32_t LastWin32Error();
// The system's text for a Win32 error code, without its line end.
std::string SystemMessage(std::uint32_t error);

// A program that afx::Process starts has no console of its own: Interrupt()
// releases the semaphore of this name, and the program's InterruptWatch
// takes each release as a Ctrl-C.
std::string InterruptSemaphoreName(std::uint32_t processId);

// What tells one version of a file from another: the volume and file index
// (the file's identity) and its size and times in 100 ns units.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t created = 0;
};
// False with *err (errno) set when the file cannot be opened or asked.
bool IdentifyFile(const std::string& path, FileIdentity* identity, int* err);
// The file system's clock now, in the units of FileIdentity's times.
std::int64_t FileTimeNow();
// Sets a file's modification time (FileIdentity units).
bool SetModifiedTime(const std::string& path, std::int64_t modified);

// Renames `from` to `to` in one step, replacing `to` unless `failIfExists`,
// and returns once the change is on disk. False with *err (errno) set.
bool MoveFileOver(const std::string& from, const std::string& to, bool failIfExists, int* err);

// The system's registry. Keys are the system's handles; results are Win32
// error codes (the same numbers as the framework's ERROR_* constants).
using RegKey = void*;
// HKEY_LOCAL_MACHINE (0) or HKEY_CURRENT_USER (1).
RegKey RegRoot(int which);
long RegOpen(RegKey parent, const char* subKey, std::uint32_t sam, RegKey* result);
long RegCreate(RegKey parent, const char* subKey, std::uint32_t sam, RegKey* result, std::uint32_t* disposition);
long RegClose(RegKey key);
long RegQuery(RegKey key, const char* name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size);
long RegSet(RegKey key, const char* name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size);
long RegRemoveValue(RegKey key, const char* name);
long RegRemoveKey(RegKey key, const char* subKey);
long RegEnumSubkey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen);
long RegEnumEntry(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen, std::uint32_t* type,
                  std::uint8_t* data, std::uint32_t* size);
long RegInfo(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen, std::uint32_t* values);

}  // namespace afx::win
