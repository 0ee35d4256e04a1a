// An opaque receiver firmware image (".bin"), sent whole by the code that programs it.
// Its bytes are read through the ordinary file operations; it has no blocks,
// no identity record and no check value.
#pragma once
#include "firmware/LSFlashFile.h"

class CQMRBladeFWFile : public CLSFlashFile {
 public:
  explicit CQMRBladeFWFile(const char* path);
  ~CQMRBladeFWFile() override;

  std::uint64_t GetLength() const override { return CFile::GetLength(); }
  void ReadEmbeddedInfo(CLSEmbeddedInfo&) override {}
  bool ReadNextBlock(FlashBlock&) override { return false; }
  bool ReadAt(DWORD, void*, DWORD) override { return false; }
  bool Verify() override {
    SetVerified(true);
    return true;
  }
};
