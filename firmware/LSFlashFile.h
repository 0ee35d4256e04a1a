// Base of every firmware file: a receiver interface programs a board through
// these operations without knowing the file's format.
//
// Reads go through a read-ahead buffer so that the line and byte scanners of
// the text formats do not cost one system call per character.
#pragma once
#include <cstdint>
#include <vector>

#include "afx/File.h"
#include "device/LSEmbeddedInfo.h"
#include "firmware/FlashBlock.h"

class CLSFlashFile : public CStdioFile {
 public:
  // Opens `path` for reading; a failure leaves as CLSFlashFileException.
  CLSFlashFile(const char* path, UINT openFlags);
  ~CLSFlashFile() override;

  // Length of the image: the file on disk, or for ELF and S-record the length taken at opening.
  std::uint64_t GetLength() const override = 0;
  // Closes; a file error while closing is discarded.
  void Close() override;

  // Fills `info` from the file; CLSFlashFileException 852 when it does not parse.
  virtual void ReadEmbeddedInfo(CLSEmbeddedInfo& info);
  // The next block of programmable data; false at the end of the data.
  virtual bool ReadNextBlock(FlashBlock& block) = 0;
  // Reads `count` bytes at `offset` of the file's data space; true only when all arrived.
  virtual bool ReadAt(DWORD offset, void* buffer, DWORD count) = 0;
  // Checks the contents, stores the result in the verified flag and returns it.
  virtual bool Verify() = 0;
  // Seeks to the start; a file error becomes CLSFlashFileException 851.
  virtual void Rewind();
  virtual bool IsOpen() const { return CFile::IsOpen(); }
  virtual bool IsVerified() const { return verified_; }

  UINT Read(void* buffer, UINT count) override;
  std::uint64_t Seek(std::int64_t offset, UINT from) override;
  std::uint64_t GetPosition() const override;
  // The next byte, or -1 at the end of the file.
  int GetChar() {
    if (bufferPos_ < bufferEnd_) return static_cast<unsigned char>(buffer_[bufferPos_++]);
    return Refill() ? static_cast<unsigned char>(buffer_[bufferPos_++]) : -1;
  }
  // The next piece of the current line, straight from the read-ahead window:
  // up to the next '\n' (not included, but consumed), or to the end of the
  // window when the line goes on past it (`complete` false; the next call
  // goes on with the line). False at the end of the file. The piece stays
  // valid until the next read, seek or close.
  bool NextLinePiece(const char*& piece, size_t& length, bool& complete);

 protected:
  void SetVerified(bool verified) { verified_ = verified; }
  // Seeks to `offset` and reads; true when exactly `count` bytes arrived, false
  // on a short read or a file error.
  bool ReadExactlyAt(std::uint64_t offset, void* buffer, DWORD count);

 private:
  bool Refill();
  void DropBuffer() { bufferPos_ = bufferEnd_ = 0; }

  bool verified_ = false;
  std::vector<char> buffer_;
  std::uint64_t bufferStart_ = 0;  // file position of buffer_[0]
  size_t bufferPos_ = 0;
  size_t bufferEnd_ = 0;
};
