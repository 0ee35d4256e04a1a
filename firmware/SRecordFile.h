// Reader of Motorola S-record text images.
//
//   S<type><count><address><data><checksum>
//   type      one decimal digit; address bytes: S0 0, S1 2, S2 3, S3 4, S5/S7/S8/S9 0
//   count     two hex digits: bytes of address, data and checksum together
//   checksum  ones' complement of the low byte of count + address + data bytes
// An optional "MD" header line may precede the records.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "afx/String.h"
#include "afx/WinTypes.h"

class CLSFlashFile;

struct SRecord {
  static constexpr int kMaxData = 77;
  DWORD address = 0;
  BYTE length = 0;
  BYTE type = 0;
  BYTE data[kMaxData] = {};
};

class CSRecordFile {
 public:
  explicit CSRecordFile(CLSFlashFile& file);
  virtual ~CSRecordFile();
  CSRecordFile(const CSRecordFile&) = delete;
  CSRecordFile& operator=(const CSRecordFile&) = delete;

 protected:
  // Validates unless already done and takes the file length; throws 865 when invalid.
  void InitSRecord();
  // Whether the file starts (after an optional "MD" line) with six well-formed records.
  bool Validate();
  // Parses the next record; false at the end of the file or at a record that
  // ends the data (S4, S6, a non-digit type). Throws 862 and 863.
  bool ParseRecord(SRecord& record);
  // The next data record (S1, S2, S3) with at least one data byte.
  bool NextDataRecord(SRecord& record);
  // From the current position, gathers the bytes for addresses address .. address + count - 1.
  bool ReadAtAddress(DWORD address, void* buffer, DWORD count);

  DWORD GetFileLength() const { return fileLength_; }
  bool IsValidated() const { return validated_ != 0; }

 private:
  // One line without its end ("\n" or "\r\n"): its first characters (at most
  // kMaxKept), its real length and its last two characters (0 where the line
  // is shorter).
  struct Line {
    std::string_view kept;
    size_t full = 0;
    char lastTwo[2] = {0, 0};
  };
  // Reads the next line; false at end of file. `kept` stays valid until the next read.
  bool ReadLine(Line& line);
  [[noreturn]] void Throw(UINT code) const;

  DWORD fileLength_ = 0;
  BYTE validated_ = 0;
  CLSFlashFile& file_;
  std::string spill_;  // a line that crosses the end of the read-ahead window
};
