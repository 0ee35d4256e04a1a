// The image container (".timg"): a 108-byte header, a table of 84-byte
// section entries from offset 0x6C, then the payloads in table order without
// gaps. All fields big-endian.
//
//   header   0x16 u16  number of sections N (nothing else of the header is used)
//   entry    0x00 u16  type: 0 monitor for ordinary boards, 1 monitor for boards
//                      with product code 0x3E, 0x42 or 0x46, 2 application
//            0x02 u8, 0x03 u8   kept, not interpreted
//            0x04 u8   version major      0x05 u8  version minor
//            0x08 u32  payload length     0x0C u32 kept, not interpreted
//            0x10 u32  flash address
#pragma once
#include "firmware/LSFlashFile.h"

struct TimgSection {
  WORD type = 0;
  BYTE reserved2 = 0;
  BYTE reserved3 = 0;
  BYTE versionMajor = 0;
  BYTE versionMinor = 0;
  DWORD length = 0;
  DWORD reserved0C = 0;
  DWORD flashAddress = 0;
  DWORD payloadOffset = 0;  // computed from the table
};

class CTimgFile : public CLSFlashFile {
 public:
  static constexpr DWORD kHeaderSize = 0x6C;
  static constexpr DWORD kEntrySize = 84;
  static constexpr WORD kTypeMonitor = 0;
  static constexpr WORD kTypeMonitorAlternate = 1;
  static constexpr WORD kTypeApplication = 2;

  explicit CTimgFile(const char* path);
  ~CTimgFile() override;

  std::uint64_t GetLength() const override { return CFile::GetLength(); }
  // Reads the identity record at the start of the application payload; 852 without one.
  void ReadEmbeddedInfo(CLSEmbeddedInfo& info) override;
  bool ReadNextBlock(FlashBlock& block) override;
  // Reads at the absolute file offset.
  bool ReadAt(DWORD offset, void* buffer, DWORD count) override;
  // The container carries no check value.
  bool Verify() override;
  // Seeks to the start; file errors leave untranslated.
  void Rewind() override;

  // The section count of the header; 0 when the header is cut short.
  WORD GetSectionCount();
  // Fills `out` from entry `index`; false when the entry or its payload lies
  // past the end of the file.
  bool ReadSection(BYTE index, TimgSection& out);
  // File offset of the payload of section `index`; 0 when there is no such
  // section (except index 0 of an empty container, which is 0x6C).
  DWORD GetPayloadOffset(WORD index);
  // The monitor section for a board with `productCode`; the first match wins,
  // and a match whose payload is not in the file ends the search.
  bool FindMonitorSection(BYTE productCode, TimgSection& out);
  // The first application section.
  bool FindApplicationSection(TimgSection& out);

 private:
  bool ReadEntry(WORD index, TimgSection& out);
  bool FindSection(WORD type, TimgSection& out);
  // Computes the payload offset of `entry`, read from `index`; false when the payload is not in the file.
  bool PlacePayload(WORD index, TimgSection& entry);
};
