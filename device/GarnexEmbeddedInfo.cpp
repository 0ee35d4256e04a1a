#include "device/GarnexEmbeddedInfo.h"

#include "device/ByteReader.h"
#include "device/ModelTable.h"

bool CGarnexEmbeddedInfo::Parse(const BYTE* data, DWORD size) {
  if (!data || size != kSize) return false;
  const CByteReader in(data, size);
  in.U16BE(0, version_);
  in.U16BE(2, year_);
  in.U8(4, month_);
  in.U8(5, day_);
  in.U8(6, config_);
  in.U8(7, released_);
  in.U32BE(8, headerValue_);
  in.U32BE(12, imageSize_);
  in.U32BE(16, checksum_);
  in.Bytes(20, name_, sizeof name_);
  name_[7] = '\0';
  in.U32BE(28, compressSize_);
  in.U32BE(32, adlerChecksum_);
  if (config_ == 1) {
    // Such images store these fields little-endian; the checksum and the
    // header value stay big-endian in every image.
    version_ = CByteReader::Swap16(version_);
    year_ = CByteReader::Swap16(year_);
    imageSize_ = CByteReader::Swap32(imageSize_);
    compressSize_ = CByteReader::Swap32(compressSize_);
    adlerChecksum_ = CByteReader::Swap32(adlerChecksum_);
  }
  // The stored figure leaves out the 256-byte head that the loader adds.
  compressSize_ += 256;
  return CModelTable::IsAcceptedPlatform(name_);
}
