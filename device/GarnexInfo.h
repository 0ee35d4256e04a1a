// The newer platform's 425-byte product record, read from the monitor.
//
//   offset size field
//     0     1   monitor version, major
//     1     1   monitor version, minor
//     2    32   serial number (text)
//    34    40   product name (text)
//    74    36   owner string one (text)
//   110    36   owner string two (text)
//   146     1   board byte
//   147     1   monitor-capability byte, 0 to 3
//   148     1   date, month
//   149     2   date, year            (big-endian on the wire, host order here)
//   151     1   installed firmware version, major
//   152     1   installed firmware version, minor
//   155     2   16-bit value          (big-endian on the wire, host order here)
//   169   128   32 feature entries of (identifier, value), 16 bits each
//                                     (big-endian on the wire, host order here)
//   336     1   product code
//   375     2   product ID, big-endian (kept as received)
// Text fields are NUL-padded; an erased one (first byte 0xFF) reads "None".
// A record that was never filled reads as erased flash.
#pragma once
#include <array>

#include "device/GarnexEmbeddedInfo.h"
#include "device/LSInfo.h"

class CGarnexInfo : public CLSInfo {
 public:
  static constexpr DWORD kRecordSize = 425;
  static constexpr DWORD kFeatureCount = 32;

  CGarnexInfo();

  DWORD GetSize() const override { return kRecordSize; }
  // Takes the record; false (record unchanged) unless it is exactly 425 bytes.
  bool FillOutProductInfo(const BYTE* data, DWORD size) override;
  // Rebuilds the feature list from the record's feature entries.
  virtual void DecodeFeatures();

  virtual CString GetSerialNumber() const;
  virtual CString GetOwnerStrOne() const;
  virtual CString GetOwnerStrTwo() const;
  virtual CString GetProductName() const;
  // The record as received, with its 16-bit fields in host order.
  virtual const BYTE* GetRawRecord() const { return record_.data(); }
  virtual BYTE GetDateMonth() const { return record_[148]; }
  virtual WORD GetDateYear() const { return Host16(149); }
  // False when the serial-number field is erased.
  virtual bool HasSerialNumber() const;
  // Whether the image's version equals the installed firmware version.
  virtual bool IsSameVersion(const CGarnexEmbeddedInfo& image) const;
  // Whether the image is older than the installed firmware; false when none is installed.
  virtual bool IsOlderThanInstalled(const CGarnexEmbeddedInfo& image) const;
  virtual bool IsSupported() const { return true; }
  virtual BYTE GetMonitorCapability() const { return record_[147]; }
  virtual BYTE GetBoard() const { return record_[146]; }
  virtual BYTE GetInstalledMinor() const { return record_[152]; }
  virtual BYTE GetInstalledMajor() const { return record_[151]; }
  virtual BYTE GetMonitorMinor() const { return record_[1]; }
  virtual BYTE GetMonitorMajor() const { return record_[0]; }

  BYTE GetProductCodeByte() const { return record_[336]; }
  WORD GetProductId() const { return static_cast<WORD>((record_[375] << 8) | record_[376]); }
  // The product code byte, or the product ID when the byte is 0.
  WORD GetProductCode() const;
  // The feature entry `index` (0..31) as held in the record.
  WORD GetFeatureIdentifier(int index) const;
  WORD GetFeatureValue(int index) const;

 private:
  WORD Host16(size_t offset) const;
  void SetHost16(size_t offset, WORD value);
  CString Text(size_t offset, size_t size) const;

  std::array<BYTE, kRecordSize> record_{};  // erased (0xFF) until filled
  CString serialNumber_, productName_, ownerStrOne_, ownerStrTwo_;
};
