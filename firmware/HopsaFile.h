// A flat application image (".img"): a 256-byte head that starts with the
// identity record, then the body, whose Adler-32 the record carries.
#pragma once
#include "firmware/LSFlashFile.h"

class CHopsaFile : public CLSFlashFile {
 public:
  static constexpr DWORD kBodyOffset = 256;

  explicit CHopsaFile(const char* path);
  ~CHopsaFile() override;

  std::uint64_t GetLength() const override { return CFile::GetLength(); }
  // Reads the identity record from offset 0; 852 when it does not parse.
  void ReadEmbeddedInfo(CLSEmbeddedInfo& info) override;
  bool ReadNextBlock(FlashBlock& block) override;
  // Reads at the absolute file offset.
  bool ReadAt(DWORD offset, void* buffer, DWORD count) override;
  // Compares the body's Adler-32 with the record's; 852 when the record does not parse.
  bool Verify() override;
  // Seeks to the start; file errors leave untranslated.
  void Rewind() override;
};
