// The identity block that a firmware image carries: which platform it is for,
// its version and date, and the check values of the image.
#pragma once
#include "afx/String.h"
#include "afx/WinTypes.h"

class CLSEmbeddedInfo {
 public:
  CLSEmbeddedInfo() = default;
  virtual ~CLSEmbeddedInfo();
  CLSEmbeddedInfo(const CLSEmbeddedInfo&) = default;
  CLSEmbeddedInfo& operator=(const CLSEmbeddedInfo&) = default;

  // Offset in the image at which the block lies.
  virtual DWORD GetFileOffset() const = 0;
  // Size of the block in bytes.
  virtual DWORD GetSize() const = 0;
  // Decodes `size` bytes; false when they are no block of an accepted platform.
  virtual bool Parse(const BYTE* data, DWORD size) = 0;
  virtual WORD GetYear() const = 0;
  // major * 100 + minor
  virtual WORD GetVersion() const = 0;
  virtual BYTE GetMonth() const = 0;
  virtual BYTE GetDay() const = 0;
  virtual BYTE GetConfig() const = 0;
  virtual BYTE GetReleased() const = 0;
  virtual DWORD GetHeaderValue() const = 0;
  virtual DWORD GetCompressSize() const = 0;
  virtual DWORD GetChecksum() const = 0;
  // Platform code name: 7 characters, space-padded.
  virtual CString GetName() const = 0;
  virtual DWORD GetAdlerChecksum() const = 0;
};
