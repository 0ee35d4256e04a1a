// Reader of 32-bit big-endian PowerPC executables: walks the program headers
// and delivers the loadable segments' file bytes at their load addresses.
//
//   ELF header (52 bytes)       program header (32 bytes)
//    0  4  0x7F 'E' 'L' 'F'       0 p_type    16 p_filesz
//   16  2  e_type (2)             4 p_offset  20 p_memsz
//   18  2  e_machine (20)         8 p_vaddr   24 p_flags
//   20  4  e_version (1)         12 p_paddr   28 p_align
//   24  4  e_entry   28 4 e_phoff   32 4 e_shoff   36 4 e_flags
//   40  2  e_ehsize (52)  42 2 e_phentsize  44 2 e_phnum
//   46  2  e_shentsize    48 2 e_shnum      50 2 e_shstrndx
#pragma once
#include <cstdint>
#include <vector>

#include "afx/WinTypes.h"

class CLSFlashFile;

class CElfFile {
 public:
#pragma pack(push, 1)
  struct Header {
    WORD e_type, e_machine;
    DWORD e_version, e_entry, e_phoff, e_shoff, e_flags;
    WORD e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
  };
  struct ProgramHeader {
    DWORD p_type, p_offset, p_vaddr, p_paddr, p_filesz, p_memsz, p_flags, p_align;
  };
#pragma pack(pop)
  static constexpr DWORD kLoadable = 1;

  explicit CElfFile(CLSFlashFile& file);
  virtual ~CElfFile();
  CElfFile(const CElfFile&) = delete;
  CElfFile& operator=(const CElfFile&) = delete;

 protected:
  // Checks the header and takes the file length; throws CLSFlashFileException 865 when invalid.
  void InitElf();
  // Reads and checks the ELF header; on success the walk starts at the first program header.
  bool CheckHeader();
  // Loads the next program header; false when all are loaded.
  bool LoadNextProgramHeader();
  // Starts the walk again and loads the first program header.
  void RestartWalk();
  // Up to `capacity` bytes of the current loadable segment; 0 at the end of the data.
  UINT ReadChunk(BYTE* buffer, UINT capacity, DWORD& address);
  // Gathers the bytes for load addresses address .. address + count - 1.
  bool ReadAtAddress(DWORD address, void* buffer, DWORD count);

  DWORD GetFileLength() const { return fileLength_; }
  bool IsValid() const { return valid_ != 0; }
  const Header& GetHeader() const { return header_; }

 private:
  bool ReadProgramHeader(std::uint64_t offset, ProgramHeader& out);
  // The program headers as far as the file holds them (one when the entry size
  // is 0), read once per header check rather than once per block or read.
  const std::vector<ProgramHeader>& HeaderTable();

  DWORD fileLength_ = 0;
  BYTE valid_ = 0;
  DWORD phNumber_ = 0;
  CLSFlashFile& file_;
  Header header_{};
  ProgramHeader current_{};
  DWORD consumed_ = 0;
  std::vector<ProgramHeader> headerTable_;
  bool headerTableRead_ = false;
};
