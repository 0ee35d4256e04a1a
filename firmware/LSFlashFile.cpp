#include "firmware/LSFlashFile.h"

#include <algorithm>
#include <cstring>

#include "firmware/LSFlashFileException.h"

namespace {
constexpr size_t kReadAhead = 64 * 1024;
constexpr size_t kSmallestReadAhead = 512;
}

CLSFlashFile::CLSFlashFile(const char* path, UINT openFlags) {
  CFileException error;
  if (!Open(path, openFlags, &error)) {
    CLSFlashFileException::ThrowForFileError(error, path);
    // A failed open always carries a cause; keep a clear error should it not.
    throw CLSFlashFileException(850, path);
  }
}

CLSFlashFile::~CLSFlashFile() = default;

void CLSFlashFile::Close() {
  DropBuffer();
  try {
    CFile::Close();
  } catch (const CFileException&) {
    // Nothing was written; a failing close cannot lose data.
  }
}

bool CLSFlashFile::Refill() {
  if (buffer_.empty()) {
    // A small file needs no window larger than itself; every opened file pays
    // for its window's allocation, and most images checked are small.
    std::uint64_t length = kReadAhead;
    try {
      length = CFile::GetLength();
    } catch (const CFileException&) {
      // The read below reports what is wrong with the file.
    }
    buffer_.resize(static_cast<size_t>(std::clamp<std::uint64_t>(length, kSmallestReadAhead, kReadAhead)));
  }
  bufferPos_ = bufferEnd_ = 0;
  bufferStart_ = CFile::GetPosition();
  bufferEnd_ = CFile::Read(buffer_.data(), static_cast<UINT>(buffer_.size()));
  return bufferEnd_ > 0;
}

bool CLSFlashFile::NextLinePiece(const char*& piece, size_t& length, bool& complete) {
  if (bufferPos_ == bufferEnd_ && !Refill()) return false;
  const char* start = buffer_.data() + bufferPos_;
  const size_t available = bufferEnd_ - bufferPos_;
  const void* newline = std::memchr(start, '\n', available);
  piece = start;
  complete = newline != nullptr;
  length = complete ? static_cast<size_t>(static_cast<const char*>(newline) - start) : available;
  bufferPos_ += complete ? length + 1 : length;
  return true;
}

UINT CLSFlashFile::Read(void* buffer, UINT count) {
  auto* out = static_cast<char*>(buffer);
  UINT done = 0;
  while (done < count) {
    if (bufferPos_ == bufferEnd_) {
      // Large reads go straight to the file once the buffer is drained.
      if (count - done >= kReadAhead) {
        DropBuffer();
        return done + CFile::Read(out + done, count - done);
      }
      if (!Refill()) break;
    }
    const size_t n = std::min<size_t>(count - done, bufferEnd_ - bufferPos_);
    std::memcpy(out + done, buffer_.data() + bufferPos_, n);
    bufferPos_ += n;
    done += static_cast<UINT>(n);
  }
  return done;
}

std::uint64_t CLSFlashFile::Seek(std::int64_t offset, UINT from) {
  // The block walks seek before every block; a target inside the buffered
  // window keeps the window, or each block would cost a whole refill.
  if (bufferEnd_ > 0 && from != end) {
    const std::int64_t start = static_cast<std::int64_t>(bufferStart_);
    const std::int64_t target = from == begin ? offset : start + static_cast<std::int64_t>(bufferPos_) + offset;
    if (target >= start && target <= start + static_cast<std::int64_t>(bufferEnd_)) {
      bufferPos_ = static_cast<size_t>(target - start);
      return static_cast<std::uint64_t>(target);
    }
  }
  if (from == current) offset -= static_cast<std::int64_t>(bufferEnd_ - bufferPos_);
  DropBuffer();
  return CFile::Seek(offset, from);
}

// Asked after every block for progress; the buffered window answers without a system call.
std::uint64_t CLSFlashFile::GetPosition() const {
  if (bufferEnd_ > 0) return bufferStart_ + bufferPos_;
  return CFile::GetPosition();
}

bool CLSFlashFile::ReadExactlyAt(std::uint64_t offset, void* buffer, DWORD count) {
  try {
    Seek(static_cast<std::int64_t>(offset), begin);
    return Read(buffer, count) == count;
  } catch (const CFileException&) {
    return false;
  }
}

void CLSFlashFile::Rewind() {
  try {
    Seek(0, begin);
  } catch (const CFileException&) {
    throw CLSFlashFileException(851, GetFilePath());
  }
}

void CLSFlashFile::ReadEmbeddedInfo(CLSEmbeddedInfo& info) {
  std::vector<BYTE> record(info.GetSize(), 0);
  Rewind();
  // A record cut short by the end of the image is as unusable as a foreign one.
  if (!ReadAt(info.GetFileOffset(), record.data(), static_cast<DWORD>(record.size())) ||
      !info.Parse(record.data(), static_cast<DWORD>(record.size())))
    throw CLSFlashFileException(852, GetFilePath());
  Rewind();
}
