#include "firmware/SRecordFile.h"

#include <algorithm>

#include "firmware/LSFlashFile.h"
#include "firmware/LSFlashFileException.h"

namespace {

// The longest well-formed line is 2 + 2 + 255 * 2 characters; longer lines
// are kept only this far (they cannot parse anyway).
constexpr size_t kMaxKept = 1024;
constexpr int kRecordsForValid = 6;

int HexDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte of two hex characters, or -1.
int HexByte(int hi, int lo) {
  const int h = HexDigit(hi), l = HexDigit(lo);
  return h < 0 || l < 0 ? -1 : h * 16 + l;
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
      const int hi = get();
      const int n = HexByte(hi, get());
      if (n < 0) return false;
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

bool CSRecordFile::ReadLine(CString& line, size_t& fullLength, char lastTwo[2]) {
  line.clear();
  fullLength = 0;
  char tail[3] = {0, 0, 0};
  int c = file_.GetChar();
  if (c < 0) return false;
  for (; c >= 0 && c != '\n'; c = file_.GetChar()) {
    if (line.size() < kMaxKept) line += static_cast<char>(c);
    ++fullLength;
    tail[0] = tail[1];
    tail[1] = tail[2];
    tail[2] = static_cast<char>(c);
  }
  if (fullLength > 0 && tail[2] == '\r') {
    --fullLength;
    if (line.size() > fullLength) line.pop_back();
    tail[2] = tail[1];
    tail[1] = tail[0];
  }
  lastTwo[0] = tail[1];
  lastTwo[1] = tail[2];
  return true;
}

bool CSRecordFile::ParseRecord(SRecord& record) {
  CString line;
  size_t full = 0;
  char lastTwo[2];
  for (;;) {
    if (!ReadLine(line, full, lastTwo)) return false;
    if (full < 4 || line[0] != 'S' || HexDigit(line[2]) < 0 || HexDigit(line[3]) < 0) continue;
    const int addressLength = AddressLength(line[1]);
    if (addressLength < 0) return false;
    const int count = HexByte(line[2], line[3]);
    const int length = count - 1 - addressLength;
    if (length < 0 || length > SRecord::kMaxData) Throw(863);

    // Address, data and checksum must all be there and be hex.
    const size_t fieldsEnd = 4 + 2 * static_cast<size_t>(addressLength + length);
    if (full < fieldsEnd + 2 || line.size() < fieldsEnd) Throw(862);
    unsigned sum = static_cast<unsigned>(count);
    DWORD address = 0;
    size_t at = 4;
    for (int i = 0; i < addressLength; ++i, at += 2) {
      const int b = HexByte(line[at], line[at + 1]);
      if (b < 0) Throw(862);
      address = (address << 8) | static_cast<DWORD>(b);
      sum += static_cast<unsigned>(b);
    }
    SRecord parsed;
    for (int i = 0; i < length; ++i, at += 2) {
      const int b = HexByte(line[at], line[at + 1]);
      if (b < 0) Throw(862);
      parsed.data[i] = static_cast<BYTE>(b);
      sum += static_cast<unsigned>(b);
    }
    const int checksum = HexByte(lastTwo[0], lastTwo[1]);
    if (checksum < 0 || static_cast<unsigned>(checksum) != (~sum & 0xFFu)) Throw(862);
    parsed.address = address;
    parsed.length = static_cast<BYTE>(length);
    parsed.type = static_cast<BYTE>(line[1] - '0');
    record = parsed;
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
