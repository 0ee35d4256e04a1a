#include "firmware/GarnexSRecFile.h"

#include <cstring>

CGarnexSRecFile::CGarnexSRecFile(const char* path)
    : CLSFlashFile(path, modeRead | shareDenyWrite | typeText), CSRecordFile(static_cast<CLSFlashFile&>(*this)) {
  InitSRecord();
}

CGarnexSRecFile::~CGarnexSRecFile() { Close(); }

bool CGarnexSRecFile::ReadNextBlock(FlashBlock& block) {
  SRecord r;
  if (!NextDataRecord(r)) return false;
  block.address = r.address;
  block.count = r.length;
  std::memcpy(block.data, r.data, r.length);
  return true;
}

bool CGarnexSRecFile::ReadAt(DWORD offset, void* buffer, DWORD count) { return ReadAtAddress(offset, buffer, count); }

bool CGarnexSRecFile::Verify() {
  const bool ok = Validate();
  SetVerified(ok);
  Seek(0, begin);
  return ok;
}
