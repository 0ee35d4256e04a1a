// The 36-byte identity block of a newer-platform firmware image.
//
//   offset size field
//    0     2   version, major * 100 + minor
//    2     2   year
//    4     1   month
//    5     1   day
//    6     1   config (1: version, year, image size, compressed size and
//              Adler-32 are stored little-endian)
//    7     1   released
//    8     4   header value
//   12     4   image size
//   16     4   checksum
//   20     8   platform code name, 7 characters space-padded, then NUL
//   28     4   compressed size (stored 256 short of the real figure)
//   32     4   Adler-32 of the image body
// Multi-byte fields are big-endian unless config says otherwise.
#pragma once
#include "device/LSEmbeddedInfo.h"

class CGarnexEmbeddedInfo : public CLSEmbeddedInfo {
 public:
  static constexpr DWORD kFileOffset = 0x43000;
  static constexpr DWORD kSize = 36;

  CGarnexEmbeddedInfo() = default;

  DWORD GetFileOffset() const override { return kFileOffset; }
  DWORD GetSize() const override { return kSize; }
  bool Parse(const BYTE* data, DWORD size) override;
  WORD GetYear() const override { return year_; }
  WORD GetVersion() const override { return version_; }
  BYTE GetMonth() const override { return month_; }
  BYTE GetDay() const override { return day_; }
  BYTE GetConfig() const override { return config_; }
  BYTE GetReleased() const override { return released_; }
  DWORD GetHeaderValue() const override { return headerValue_; }
  DWORD GetCompressSize() const override { return compressSize_; }
  DWORD GetChecksum() const override { return checksum_; }
  CString GetName() const override { return CString(name_); }
  DWORD GetAdlerChecksum() const override { return adlerChecksum_; }
  DWORD GetImageSize() const { return imageSize_; }

 private:
  WORD version_ = 0xFFFF;
  WORD year_ = 0xFFFF;
  BYTE month_ = 0xFF;
  BYTE day_ = 0xFF;
  BYTE config_ = 0xFF;
  BYTE released_ = 0xFF;
  DWORD headerValue_ = 0xFFFFFFFF;
  DWORD imageSize_ = 0xFFFFFFFF;
  DWORD checksum_ = 0xFFFFFFFF;
  char name_[8] = {};
  DWORD compressSize_ = 0xFFFFFFFF;
  DWORD adlerChecksum_ = 0xFFFFFFFF;
};
