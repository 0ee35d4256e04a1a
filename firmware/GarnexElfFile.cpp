#include "firmware/GarnexElfFile.h"

#include <vector>

#include "firmware/LSFlashFileException.h"

CGarnexElfFile::CGarnexElfFile(const char* path)
    : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary), CElfFile(static_cast<CLSFlashFile&>(*this)) {
  InitElf();
}

CGarnexElfFile::~CGarnexElfFile() { Close(); }

void CGarnexElfFile::ReadEmbeddedInfo(CLSEmbeddedInfo& info) {
  std::vector<BYTE> record(info.GetSize(), 0);
  Rewind();
  // A record cut short by the end of the image is as unusable as a foreign one.
  if (!ReadAt(info.GetFileOffset() - kLoadBase, record.data(), static_cast<DWORD>(record.size())) ||
      !info.Parse(record.data(), static_cast<DWORD>(record.size())))
    throw CLSFlashFileException(852, GetFilePath());
  Rewind();
}

bool CGarnexElfFile::ReadNextBlock(FlashBlock& block) {
  DWORD address = 0;
  const UINT n = ReadChunk(block.data, FlashBlock::kCapacity, address);
  if (n == 0) return false;
  block.address = address;
  block.count = static_cast<WORD>(n);
  return true;
}

bool CGarnexElfFile::ReadAt(DWORD offset, void* buffer, DWORD count) { return ReadAtAddress(offset, buffer, count); }

bool CGarnexElfFile::Verify() {
  const bool ok = CheckHeader();
  SetVerified(ok);
  return ok;
}

void CGarnexElfFile::Rewind() {
  CLSFlashFile::Rewind();
  RestartWalk();
}
