// An opaque image for the board's TI controller (".tix"), sent whole by the controller path.
// Its bytes are read through the ordinary file operations; it has no blocks,
// no identity record and no check value.
#pragma once
#include "firmware/LSFlashFile.h"

class CTICBSLFile : public CLSFlashFile {
 public:
  explicit CTICBSLFile(const char* path);
  ~CTICBSLFile() override;

  std::uint64_t GetLength() const override { return CFile::GetLength(); }
  void ReadEmbeddedInfo(CLSEmbeddedInfo&) override {}
  bool ReadNextBlock(FlashBlock&) override { return false; }
  bool ReadAt(DWORD, void*, DWORD) override { return false; }
  bool Verify() override {
    SetVerified(true);
    return true;
  }
};
