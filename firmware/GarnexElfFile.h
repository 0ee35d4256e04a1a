// A newer-platform firmware image linked as an ELF executable, read in
// load-address terms.
#pragma once
#include "firmware/ElfFile.h"
#include "firmware/LSFlashFile.h"

class CGarnexElfFile : public CLSFlashFile, public CElfFile {
 public:
  // The identity record's offset in the image minus this is its load address.
  static constexpr DWORD kLoadBase = 0x40000;

  // Opens the file; CLSFlashFileException 865 when it is no valid executable.
  explicit CGarnexElfFile(const char* path);
  ~CGarnexElfFile() override;

  std::uint64_t GetLength() const override { return GetFileLength(); }
  void Close() override { CLSFlashFile::Close(); }
  // Reads the identity record at load address (its offset - kLoadBase).
  void ReadEmbeddedInfo(CLSEmbeddedInfo& info) override;
  // The next chunk of a loadable segment; blocks never span two segments.
  bool ReadNextBlock(FlashBlock& block) override;
  // Gathers the bytes for load addresses offset .. offset + count - 1.
  bool ReadAt(DWORD offset, void* buffer, DWORD count) override;
  bool Verify() override;
  // Seeks to the start and restarts the program-header walk.
  void Rewind() override;
};
