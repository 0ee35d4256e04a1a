// A newer-platform firmware image as an S-record text file, read in
// load-address terms.
#pragma once
#include "firmware/LSFlashFile.h"
#include "firmware/SRecordFile.h"

class CGarnexSRecFile : public CLSFlashFile, public CSRecordFile {
 public:
  // Opens the file; CLSFlashFileException 865 when it is no valid S-record file.
  explicit CGarnexSRecFile(const char* path);
  ~CGarnexSRecFile() override;

  std::uint64_t GetLength() const override { return GetFileLength(); }
  void Close() override { CLSFlashFile::Close(); }
  // One data record per block; S0, S5, S7, S8 and S9 are passed over.
  bool ReadNextBlock(FlashBlock& block) override;
  // From the current position, gathers the bytes for addresses offset .. offset + count - 1.
  bool ReadAt(DWORD offset, void* buffer, DWORD count) override;
  bool Verify() override;
};
