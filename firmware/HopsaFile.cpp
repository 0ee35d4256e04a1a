#include "firmware/HopsaFile.h"

#include <vector>

#include "device/GarnexEmbeddedInfo.h"
#include "firmware/Adler32.h"
#include "firmware/LSFlashFileException.h"

CHopsaFile::CHopsaFile(const char* path) : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary) {}

CHopsaFile::~CHopsaFile() { Close(); }

void CHopsaFile::ReadEmbeddedInfo(CLSEmbeddedInfo& info) {
  std::vector<BYTE> record(info.GetSize(), 0);
  Rewind();
  // A record cut short by the end of the image is as unusable as a foreign one.
  if (!ReadAt(0, record.data(), static_cast<DWORD>(record.size())) ||
      !info.Parse(record.data(), static_cast<DWORD>(record.size())))
    throw CLSFlashFileException(852, GetFilePath());
  Rewind();
}

bool CHopsaFile::ReadNextBlock(FlashBlock& block) {
  block.address = static_cast<DWORD>(GetPosition());
  block.count = static_cast<WORD>(Read(block.data, FlashBlock::kCapacity));
  return block.count > 0;
}

bool CHopsaFile::ReadAt(DWORD offset, void* buffer, DWORD count) { return ReadExactlyAt(offset, buffer, count); }

void CHopsaFile::Rewind() { Seek(0, begin); }

bool CHopsaFile::Verify() {
  SetVerified(true);
  CGarnexEmbeddedInfo record;
  ReadEmbeddedInfo(record);
  Seek(kBodyOffset, begin);
  CAdler32 adler;
  BYTE piece[1000];
  for (UINT n; (n = Read(piece, sizeof piece)) > 0;) adler.Update(piece, n);
  if (adler.Value() != record.GetAdlerChecksum()) SetVerified(false);
  return IsVerified();
}
