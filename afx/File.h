// Files the framework's way. Paths may use either separator; it is turned
// into the system's before the system sees the path. Paths the framework builds use
// this system's separator only (JoinPath), so that a path is spelt one way
// wherever it is stored or shown.
#pragma once
#include <cstdio>
#include <ctime>

#include "afx/Exception.h"
#include "afx/String.h"
#include "afx/WinTypes.h"

struct CFileStatus {
  std::time_t m_ctime = 0;
  std::time_t m_atime = 0;
  std::time_t m_mtime = 0;
  std::uint64_t m_size = 0;
  BYTE m_attribute = 0;      // 0x10 directory, 0x01 read-only
  char m_szFullName[4096] = {};
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  // Opens or throws CFileException.
  CFile(const char* fileName, UINT openFlags);
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens; on failure fills `error` (when given) and returns FALSE.
  virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
  virtual void Close();
  virtual void Abort();  // closes, ignoring errors
  // Reads up to `count` bytes; returns the number read (0 at end). Throws on errors.
  virtual UINT Read(void* buffer, UINT count);
  virtual void Write(const void* buffer, UINT count);
  virtual std::uint64_t Seek(std::int64_t offset, UINT from);
  std::uint64_t SeekToBegin() { return Seek(0, begin); }
  std::uint64_t SeekToEnd() { return Seek(0, end); }
  virtual std::uint64_t GetLength() const;
  virtual std::uint64_t GetPosition() const;
  virtual void Flush();
  CString GetFilePath() const { return path_; }
  CString GetFileName() const;
  bool IsOpen() const { return fd_ >= 0; }

  // Status of a path; FALSE when it does not exist.
  static BOOL GetStatus(const char* fileName, CFileStatus& status);
  static void Remove(const char* fileName);
  static void Rename(const char* oldName, const char* newName);
  // The system's path for a framework path: '\' -> '/' on POSIX, '/' -> '\'
  // on Windows.
  static CString SystemPath(const char* fileName);
  // The system's path separator.
  static char Separator();
  // `folder` and `name` joined by the system's separator, in the system's spelling.
  static CString JoinPath(const char* folder, const char* name);
  // Whether both names lead to one existing file (same device and inode):
  // two spellings, a link or a hard link of one file all count as the same.
  static bool IsSameFile(const char* first, const char* second);

 protected:
  [[noreturn]] void ThrowErrno(int err) const;
  int fd_ = -1;
  CString path_;
};

// Text files read and written line by line. Lines end in "\n" or "\r\n".
class CStdioFile : public CFile {
 public:
  CStdioFile() = default;
  CStdioFile(const char* fileName, UINT openFlags);
  // Reads one line without its terminator; FALSE at end of file.
  BOOL ReadString(CString& line);
  void WriteString(const char* text);
};

// Copies a file; FALSE (errno kept) on failure or when `failIfExists` and the
// target exists. The copy is written beside the target and renamed over it
// once complete, so a failed copy leaves the target as it was; a copy onto
// the source itself (IsSameFile) is refused with EINVAL.
BOOL CopyFile(const char* existing, const char* newName, BOOL failIfExists);
BOOL DeleteFile(const char* fileName);
// 0xFFFFFFFF when the path does not exist; 0x10 for a directory, 0x80 for a file.
DWORD GetFileAttributes(const char* fileName);
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
