// An opaque image for the Bluetooth module (".axf"), sent whole by its consumer.
// Its bytes are read through the ordinary file operations; it has no blocks,
// no identity record and no check value.
#pragma once
#include "firmware/LSFlashFile.h"

class CBlueToothFile : public CLSFlashFile {
 public:
  explicit CBlueToothFile(const char* path);
  ~CBlueToothFile() override;

  std::uint64_t GetLength() const override { return CFile::GetLength(); }
  void ReadEmbeddedInfo(CLSEmbeddedInfo&) override {}
  bool ReadNextBlock(FlashBlock&) override { return false; }
  bool ReadAt(DWORD, void*, DWORD) override { return false; }
  bool Verify() override {
    SetVerified(true);
    return true;
  }
  // Positioning is left to the code that sends the file.
  void Rewind() override {}
};
