#include "firmware/TimgFile.h"

#include "device/ByteReader.h"
#include "firmware/LSFlashFileException.h"

CTimgFile::CTimgFile(const char* path) : CLSFlashFile(path, modeRead | shareDenyWrite | typeBinary) {}

CTimgFile::~CTimgFile() { Close(); }

bool CTimgFile::ReadAt(DWORD offset, void* buffer, DWORD count) { return ReadExactlyAt(offset, buffer, count); }

bool CTimgFile::ReadNextBlock(FlashBlock& block) {
  block.address = static_cast<DWORD>(GetPosition());
  block.count = static_cast<WORD>(Read(block.data, FlashBlock::kCapacity));
  return block.count > 0;
}

bool CTimgFile::Verify() {
  SetVerified(true);
  return true;
}

void CTimgFile::Rewind() { Seek(0, begin); }

WORD CTimgFile::GetSectionCount() {
  BYTE raw[2];
  if (!ReadAt(0x16, raw, sizeof raw)) return 0;
  WORD n = 0;
  CByteReader(raw, sizeof raw).U16BE(0, n);
  return n;
}

bool CTimgFile::ReadEntry(WORD index, TimgSection& out) {
  BYTE raw[kEntrySize];
  if (!ReadAt(kHeaderSize + kEntrySize * DWORD{index}, raw, sizeof raw)) return false;
  const CByteReader in(raw, sizeof raw);
  out = TimgSection{};
  in.U16BE(0x00, out.type);
  in.U8(0x02, out.reserved2);
  in.U8(0x03, out.reserved3);
  in.U8(0x04, out.versionMajor);
  in.U8(0x05, out.versionMinor);
  in.U32BE(0x08, out.length);
  in.U32BE(0x0C, out.reserved0C);
  in.U32BE(0x10, out.flashAddress);
  return true;
}

DWORD CTimgFile::GetPayloadOffset(WORD index) {
  const WORD n = GetSectionCount();
  // An empty container still places its (empty) first payload right after the table.
  if (n == 0 ? index > 0 : index >= n) return 0;
  std::uint64_t offset = kHeaderSize + std::uint64_t{kEntrySize} * n;
  TimgSection entry;
  for (WORD i = 0; i < index; ++i) {
    if (!ReadEntry(i, entry)) return 0;
    offset += entry.length;
  }
  // Lengths that add up past 4 GiB point nowhere in a file we can address.
  return offset > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(offset);
}

bool CTimgFile::PlacePayload(WORD index, TimgSection& entry) {
  entry.payloadOffset = GetPayloadOffset(index);
  if (entry.payloadOffset == 0) return false;
  // A payload that the file does not hold in full cannot be programmed.
  return std::uint64_t{entry.payloadOffset} + entry.length <= GetLength();
}

bool CTimgFile::ReadSection(BYTE index, TimgSection& out) {
  TimgSection entry;
  if (index >= GetSectionCount() || !ReadEntry(index, entry) || !PlacePayload(index, entry)) return false;
  out = entry;
  return true;
}

bool CTimgFile::FindSection(WORD type, TimgSection& out) {
  const WORD n = GetSectionCount();
  TimgSection entry;
  for (WORD i = 0; i < n; ++i) {
    if (!ReadEntry(i, entry)) return false;
    if (entry.type != type) continue;
    if (!PlacePayload(i, entry)) return false;
    out = entry;
    return true;
  }
  return false;
}

bool CTimgFile::FindMonitorSection(BYTE productCode, TimgSection& out) {
  const bool alternate = productCode == 0x3E || productCode == 0x42 || productCode == 0x46;
  return FindSection(alternate ? kTypeMonitorAlternate : kTypeMonitor, out);
}

bool CTimgFile::FindApplicationSection(TimgSection& out) { return FindSection(kTypeApplication, out); }

void CTimgFile::ReadEmbeddedInfo(CLSEmbeddedInfo& info) {
  std::vector<BYTE> record(info.GetSize(), 0);
  Rewind();
  TimgSection application;
  if (!FindApplicationSection(application)) throw CLSFlashFileException(852, GetFilePath());
  // A record cut short by the end of the image is as unusable as a foreign one.
  if (!ReadAt(application.payloadOffset, record.data(), static_cast<DWORD>(record.size())) ||
      !info.Parse(record.data(), static_cast<DWORD>(record.size())))
    throw CLSFlashFileException(852, GetFilePath());
  Rewind();
}
