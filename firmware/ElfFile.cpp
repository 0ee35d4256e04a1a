#include "firmware/ElfFile.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "device/ByteReader.h"
#include "firmware/LSFlashFile.h"
#include "firmware/LSFlashFileException.h"

CElfFile::CElfFile(CLSFlashFile& file) : file_(file) {}

CElfFile::~CElfFile() = default;

void CElfFile::InitElf() {
  fileLength_ = 0;
  valid_ = 0;
  consumed_ = 0;
  if (!CheckHeader()) throw CLSFlashFileException(865, file_.GetFilePath());
  if (fileLength_ == 0) {
    const std::uint64_t end = file_.Seek(0, CFile::end);
    fileLength_ = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(end);
  }
  file_.Seek(0, CFile::begin);
}

bool CElfFile::CheckHeader() {
  valid_ = 0;
  headerTable_.clear();
  headerTableRead_ = false;
  BYTE raw[52];
  file_.Seek(0, CFile::begin);
  if (file_.Read(raw, sizeof raw) != sizeof raw) return false;
  if (raw[0] != 0x7F || raw[1] != 'E' || raw[2] != 'L' || raw[3] != 'F') return false;
  const CByteReader in(raw, sizeof raw);
  header_ = Header{};
  in.U16BE(16, header_.e_type);
  in.U16BE(18, header_.e_machine);
  in.U32BE(20, header_.e_version);
  in.U32BE(24, header_.e_entry);
  in.U32BE(28, header_.e_phoff);
  in.U32BE(32, header_.e_shoff);
  in.U32BE(36, header_.e_flags);
  in.U16BE(40, header_.e_ehsize);
  in.U16BE(42, header_.e_phentsize);
  in.U16BE(44, header_.e_phnum);
  in.U16BE(46, header_.e_shentsize);
  in.U16BE(48, header_.e_shnum);
  in.U16BE(50, header_.e_shstrndx);
  // The identification's class and encoding bytes are not examined: a
  // little-endian or 64-bit file already fails on the machine or size fields.
  if (header_.e_type != 2 || header_.e_machine != 20 || header_.e_version != 1 || header_.e_ehsize != 52) return false;
  phNumber_ = 1;
  valid_ = 1;
  return true;
}

bool CElfFile::ReadProgramHeader(std::uint64_t offset, ProgramHeader& out) {
  BYTE raw[32];
  try {
    file_.Seek(static_cast<std::int64_t>(offset), CFile::begin);
    if (file_.Read(raw, sizeof raw) != sizeof raw) return false;
  } catch (const CFileException&) {
    return false;
  }
  const CByteReader in(raw, sizeof raw);
  in.U32BE(0, out.p_type);
  in.U32BE(4, out.p_offset);
  in.U32BE(8, out.p_vaddr);
  in.U32BE(12, out.p_paddr);
  in.U32BE(16, out.p_filesz);
  in.U32BE(20, out.p_memsz);
  in.U32BE(24, out.p_flags);
  in.U32BE(28, out.p_align);
  return true;
}

namespace {
// The bytes of a segment that have a load address: a segment cannot run past
// the top of the 32-bit address space.
DWORD AddressableSize(const CElfFile::ProgramHeader& ph) {
  return static_cast<DWORD>(std::min<std::uint64_t>(ph.p_filesz, 0x100000000ull - ph.p_vaddr));
}

// Whether the walk delivers any of a segment's bytes.
bool Delivers(const CElfFile::ProgramHeader& ph) {
  return ph.p_type == CElfFile::kLoadable && ph.p_flags != 0 && AddressableSize(ph) > 0;
}
}  // namespace

bool CElfFile::LoadNextProgramHeader() {
  if (phNumber_ > header_.e_phnum) return false;
  const std::vector<ProgramHeader>& table = HeaderTable();
  // With an entry size of 0 every entry is the first one again.
  const std::size_t index = header_.e_phentsize == 0 ? 0 : phNumber_ - 1;
  // A header table cut short ends the walk like its last entry would.
  // So do the copies of a single entry that delivers nothing: up to 65,535
  // of them would each be skipped in turn.
  if (index >= table.size() || (header_.e_phentsize == 0 && !Delivers(table[index]))) {
    phNumber_ = DWORD{header_.e_phnum} + 1;
    return false;
  }
  current_ = table[index];
  ++phNumber_;
  consumed_ = 0;
  return true;
}

void CElfFile::RestartWalk() {
  current_ = ProgramHeader{};
  consumed_ = 0;
  phNumber_ = 1;
  LoadNextProgramHeader();
}

namespace {
// Bytes covered by the union of half-open ranges; merges them in place so
// that many overlapping segments keep the list short.
std::uint64_t Covered(std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges) {
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().second)
      merged.back().second = std::max(merged.back().second, range.second);
    else
      merged.push_back(range);
  }
  ranges = std::move(merged);
  std::uint64_t total = 0;
  for (const auto& [from, to] : ranges) total += to - from;
  return total;
}

}  // namespace

UINT CElfFile::ReadChunk(BYTE* buffer, UINT capacity, DWORD& address) {
  for (;;) {
    if (!Delivers(current_)) consumed_ = current_.p_filesz;
    if (consumed_ < AddressableSize(current_)) break;
    if (!LoadNextProgramHeader()) return 0;
  }
  const UINT want = static_cast<UINT>(std::min<DWORD>(capacity, AddressableSize(current_) - consumed_));
  UINT got = 0;
  try {
    file_.Seek(static_cast<std::int64_t>(std::uint64_t{current_.p_offset} + consumed_), CFile::begin);
    got = file_.Read(buffer, want);
  } catch (const CFileException&) {
    got = 0;
  }
  // A segment whose bytes the file does not hold ends the data.
  if (got == 0) return 0;
  address = current_.p_vaddr + consumed_;
  consumed_ += got;
  return got;
}

const std::vector<CElfFile::ProgramHeader>& CElfFile::HeaderTable() {
  if (headerTableRead_) return headerTable_;
  headerTableRead_ = true;
  // With an entry size of 0 every entry is the first one again.
  const DWORD entries = header_.e_phentsize == 0 ? std::min<DWORD>(header_.e_phnum, 1) : header_.e_phnum;
  for (DWORD i = 0; i < entries; ++i) {
    ProgramHeader ph{};
    // A table cut short by the end of the file ends where it is cut.
    if (!ReadProgramHeader(std::uint64_t{header_.e_phoff} + std::uint64_t{i} * header_.e_phentsize, ph)) break;
    headerTable_.push_back(ph);
  }
  return headerTable_;
}

bool CElfFile::ReadAtAddress(DWORD address, void* buffer, DWORD count) {
  if (count == 0) return true;
  auto* out = static_cast<BYTE*>(buffer);
  const std::uint64_t wantStart = address, wantEnd = std::uint64_t{address} + count;
  // Segments may overlap: count each wanted byte once, not once per segment.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> filled;
  for (const ProgramHeader& ph : HeaderTable()) {
    if (ph.p_type != kLoadable) continue;
    const std::uint64_t segStart = ph.p_vaddr, segEnd = std::uint64_t{ph.p_vaddr} + ph.p_filesz;
    const std::uint64_t from = std::max(segStart, wantStart), to = std::min(segEnd, wantEnd);
    if (from >= to) continue;
    UINT got = 0;
    try {
      file_.Seek(static_cast<std::int64_t>(ph.p_offset + (from - segStart)), CFile::begin);
      got = file_.Read(out + (from - wantStart), static_cast<UINT>(to - from));
    } catch (const CFileException&) {
      return false;
    }
    if (got > 0) filled.emplace_back(from, from + got);
    if (Covered(filled) >= count) return true;
  }
  return false;
}
