#include "firmware/SRecordFile.h"

#include <algorithm>
#include <array>

#include "firmware/LSFlashFile.h"
#include "firmware/LSFlashFileException.h"

namespace {

// The longest well-formed line is 2 + 2 + 255 * 2 characters; longer lines
// are kept only this far (they cannot parse anyway).
constexpr size_t kMaxKept = 1024;
constexpr int kRecordsForValid = 6;

// Hex digit values by character; -1 for every other character.
constexpr auto kHexValue = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return table;
}();

int HexDigit(int c) { return c < 0 || c > 255 ? -1 : kHexValue[static_cast<size_t>(c)]; }

// The byte of two hex characters, or -1.
int HexByte(char hi, char lo) {
  const int h = kHexValue[static_cast<unsigned char>(hi)], l = kHexValue[static_cast<unsigned char>(lo)];
  return (h | l) < 0 ? -1 : h * 16 + l;
}

// Address bytes of a record type; -1 for types that end the data.
int AddressLength(char type) {
  switch (type) {
    case '0': case '5': case '7': case '8': case '9': return 0;
    case '1': return 2;
    case '2': return 3;
    case '3': return 4;
    default: return -1;
  }
}

}  // namespace

CSRecordFile::CSRecordFile(CLSFlashFile& file) : file_(file) {}

CSRecordFile::~CSRecordFile() = default;

void CSRecordFile::Throw(UINT code) const { throw CLSFlashFileException(code, file_.GetFilePath()); }

void CSRecordFile::InitSRecord() {
  if (!validated_) {
    if (!Validate()) Throw(865);
  }
  if (fileLength_ == 0) {
    const std::uint64_t end = file_.Seek(0, CFile::end);
    fileLength_ = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(end);
  }
  validated_ = 1;
  file_.Seek(0, CFile::begin);
}

bool CSRecordFile::Validate() {
  file_.Seek(0, CFile::begin);
  int pending = -1;
  auto get = [&]() {
    if (pending >= 0) {
      const int c = pending;
      pending = -1;
      return c;
    }
    return file_.GetChar();
  };
  int records = 0;
  bool firstLine = true;
  for (;; firstLine = false) {
    const int c1 = get();
    const int c2 = c1 < 0 ? -1 : get();
    if (c1 == 'S' && c2 >= '0' && c2 <= '9') {
      if (++records == kRecordsForValid) return true;
      const int hi = HexDigit(get());
      const int lo = HexDigit(get());
      if (hi < 0 || lo < 0) return false;
      const int n = hi * 16 + lo;
      for (int i = 0; i < 2 * n; ++i)
        if (get() < 0) return false;
      // One line end; a "\r\n" pair counts as one, as it does in a text-mode read.
      const int end = get();
      if (end == '\r') {
        const int next = get();
        if (next != '\n') pending = next;
      }
    } else if (c1 == 'M' && c2 == 'D' && firstLine) {
      // A header line; only the first line may be one.
      int c;
      while ((c = get()) >= 0 && c != '\n') {
      }
    } else {
      return false;
    }
  }
}

bool CSRecordFile::ReadLine(Line& line) {
  const char* piece = nullptr;
  size_t length = 0;
  bool complete = false;
  if (!file_.NextLinePiece(piece, length, complete)) return false;
  if (complete) {
    // Nearly every line lies inside the read-ahead window: it is read where it lies.
    line.full = length > 0 && piece[length - 1] == '\r' ? length - 1 : length;
    line.kept = std::string_view(piece, std::min(line.full, kMaxKept));
    line.lastTwo[0] = line.full >= 2 ? piece[line.full - 2] : 0;
    line.lastTwo[1] = line.full >= 1 ? piece[line.full - 1] : 0;
    return true;
  }
  // The line goes on past the window: keep its head, count the rest and
  // remember its last three characters (a '\r' may precede the last two).
  char tail[3] = {0, 0, 0};
  auto keepTail = [&tail](const char* p, size_t n) {
    for (size_t i = n > 3 ? n - 3 : 0; i < n; ++i) {
      tail[0] = tail[1];
      tail[1] = tail[2];
      tail[2] = p[i];
    }
  };
  spill_.assign(piece, std::min(length, kMaxKept));
  size_t total = length;
  keepTail(piece, length);
  while (!complete && file_.NextLinePiece(piece, length, complete)) {
    if (spill_.size() < kMaxKept) spill_.append(piece, std::min(length, kMaxKept - spill_.size()));
    total += length;
    keepTail(piece, length);
  }
  const bool cr = total > 0 && tail[2] == '\r';
  line.full = cr ? total - 1 : total;
  line.kept = std::string_view(spill_).substr(0, std::min(line.full, kMaxKept));
  line.lastTwo[0] = cr ? tail[0] : tail[1];
  line.lastTwo[1] = cr ? tail[1] : tail[2];
  return true;
}

bool CSRecordFile::ParseRecord(SRecord& record) {
  Line line;
  for (;;) {
    if (!ReadLine(line)) return false;
    const std::string_view text = line.kept;
    if (line.full < 4 || text[0] != 'S' || HexDigit(static_cast<unsigned char>(text[2])) < 0 ||
        HexDigit(static_cast<unsigned char>(text[3])) < 0)
      continue;
    const int addressLength = AddressLength(text[1]);
    if (addressLength < 0) return false;
    const int count = HexByte(text[2], text[3]);
    const int length = count - 1 - addressLength;
    if (length < 0 || length > SRecord::kMaxData) Throw(863);

    // Address, data and checksum must all be there and be hex.
    const size_t fieldsEnd = 4 + 2 * static_cast<size_t>(addressLength + length);
    if (line.full < fieldsEnd + 2 || text.size() < fieldsEnd) Throw(862);
    unsigned sum = static_cast<unsigned>(count);
    DWORD address = 0;
    const char* at = text.data() + 4;
    for (int i = 0; i < addressLength; ++i, at += 2) {
      const int b = HexByte(at[0], at[1]);
      if (b < 0) Throw(862);
      address = (address << 8) | static_cast<DWORD>(b);
      sum += static_cast<unsigned>(b);
    }
    for (int i = 0; i < length; ++i, at += 2) {
      const int b = HexByte(at[0], at[1]);
      if (b < 0) Throw(862);
      record.data[i] = static_cast<BYTE>(b);
      sum += static_cast<unsigned>(b);
    }
    const int checksum = HexByte(line.lastTwo[0], line.lastTwo[1]);
    if (checksum < 0 || static_cast<unsigned>(checksum) != (~sum & 0xFFu)) Throw(862);
    record.address = address;
    record.length = static_cast<BYTE>(length);
    record.type = static_cast<BYTE>(text[1] - '0');
    return true;
  }
}

bool CSRecordFile::NextDataRecord(SRecord& record) {
  while (ParseRecord(record))
    if (record.type >= 1 && record.type <= 3 && record.length > 0) return true;
  return false;
}

bool CSRecordFile::ReadAtAddress(DWORD address, void* buffer, DWORD count) {
  if (count == 0) return true;
  auto* out = static_cast<BYTE*>(buffer);
  const std::uint64_t wantStart = address, wantEnd = std::uint64_t{address} + count;
  std::uint64_t gathered = 0;
  SRecord r;
  while (NextDataRecord(r)) {
    const std::uint64_t from = std::max<std::uint64_t>(r.address, wantStart);
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{r.address} + r.length, wantEnd);
    if (from >= to) continue;
    std::copy(r.data + (from - r.address), r.data + (to - r.address), out + (from - wantStart));
    gathered += to - from;
    if (gathered >= count) return true;
  }
  return false;
}
