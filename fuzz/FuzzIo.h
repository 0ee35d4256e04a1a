// A CioInterface that serves the fuzzer's bytes one read at a time, with
// every read costing virtual time so that time-out paths are reached too.
#pragma once
#include <cstddef>
#include <cstdint>

#include "afx/Clock.h"
#include "port/ioInterface.h"

class FuzzIo : public CioInterface {
 public:
  FuzzIo(const std::uint8_t* data, std::size_t size, std::int64_t msPerRead = 7)
      : data_(data), size_(size), msPerRead_(msPerRead) {}

  void WriteByte(BYTE) override {}
  void Write(const BYTE*, DWORD) override {}
  bool ReadByte(BYTE* value) override { return Read(value, 1) == 1; }
  DWORD Read(BYTE* buffer, DWORD count) override {
    afx::GetClock().SleepMs(static_cast<DWORD>(msPerRead_));
    DWORD n = 0;
    while (n < count && pos_ < size_) buffer[n++] = data_[pos_++];
    return n;
  }
  void FlushOutput() override {}
  void FlushInput() override {}
  void Purge(bool, bool) override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::int64_t msPerRead_;
};
