#include "device/GarnexInfo.h"

#include <cstring>

#include "afx/Module.h"
#include "afx/Trace.h"
#include "device/ByteReader.h"

namespace {

constexpr size_t kSerialOffset = 2, kSerialSize = 32;
constexpr size_t kProductOffset = 34, kProductSize = 40;
constexpr size_t kOwnerOneOffset = 74, kOwnerOneSize = 36;
constexpr size_t kOwnerTwoOffset = 110, kOwnerTwoSize = 36;
constexpr size_t kYearOffset = 149;
constexpr size_t kWordOffset = 155;
constexpr size_t kFeaturesOffset = 169;

struct FeatureName {
  WORD identifier;
  const char* name;
};

// Identifiers the monitor reports; unknown ones are listed by number.
constexpr FeatureName kFeatureNames[] = {
    {1, "Data Logging"},   {2, "RTK Rover"},      {3, "RTK Base"},       {4, "Ethernet"},
    {5, "Internal Radio"}, {6, "Cellular Modem"}, {7, "Dual Frequency"}, {8, "High Rate Output"},
    {9, "Bluetooth"},      {10, "Wi-Fi"},
};

CString FeatureNameOf(WORD identifier) {
  for (const FeatureName& f : kFeatureNames)
    if (f.identifier == identifier) return f.name;
  CString name;
  name.Format("Feature %u", static_cast<unsigned>(identifier));
  return name;
}

}  // namespace

CGarnexInfo::CGarnexInfo() : CLSInfo(kFeatureCount, kRecordSize) { record_.fill(0xFF); }

WORD CGarnexInfo::Host16(size_t offset) const {
  WORD v = 0;
  std::memcpy(&v, record_.data() + offset, sizeof v);
  return v;
}

void CGarnexInfo::SetHost16(size_t offset, WORD value) { std::memcpy(record_.data() + offset, &value, sizeof value); }

CString CGarnexInfo::Text(size_t offset, size_t size) const {
  const char* p = reinterpret_cast<const char*>(record_.data() + offset);
  return CString(std::string(p, strnlen(p, size)));
}

bool CGarnexInfo::FillOutProductInfo(const BYTE* data, DWORD size) {
  if (!data || size != kRecordSize) {
    TRACE("CGarnexInfo::FillOutProductInfo: FAILURE! pData [%p] nSize [%u]\n", static_cast<const void*>(data),
          static_cast<unsigned>(size));
    TRACE("FillOutProductInfo: Expected size is %u, Received size is %u.\n", static_cast<unsigned>(kRecordSize),
          static_cast<unsigned>(size));
    return false;
  }
  std::memcpy(record_.data(), data, kRecordSize);
  const CByteReader in(data, size);
  WORD v = 0;
  in.U16BE(kYearOffset, v);
  SetHost16(kYearOffset, v);
  in.U16BE(kWordOffset, v);
  SetHost16(kWordOffset, v);
  for (size_t i = 0; i < 2 * kFeatureCount; ++i) {
    in.U16BE(kFeaturesOffset + 2 * i, v);
    SetHost16(kFeaturesOffset + 2 * i, v);
  }

  // The raw record keeps the erased bytes (HasSerialNumber looks at them);
  // the texts handed out read "None" instead.
  const CString none = AfxLoadString(156);
  CString* const texts[] = {&serialNumber_, &productName_, &ownerStrOne_, &ownerStrTwo_};
  const size_t offsets[] = {kSerialOffset, kProductOffset, kOwnerOneOffset, kOwnerTwoOffset};
  const size_t sizes[] = {kSerialSize, kProductSize, kOwnerOneSize, kOwnerTwoSize};
  for (size_t i = 0; i < 4; ++i)
    *texts[i] = record_[offsets[i]] == 0xFF ? none.Left(static_cast<int>(sizes[i])) : Text(offsets[i], sizes[i]);

  DecodeFeatures();
  SetFilled(true);
  TRACE("CGarnexInfo::FillOutProductInfo: m_tInfoGarnex.t_ID.acSerialNumber [%s]\n", GetSerialNumber().c_str());
  TRACE("CGarnexInfo::FillOutProductInfo: m_tInfoGarnex.t_ID.acProductName [%s]\n", GetProductName().c_str());
  TRACE("CGarnexInfo::FillOutProductInfo: m_tInfoGarnex.t_ID.acOwnerStrOne [%s]\n", GetOwnerStrOne().c_str());
  TRACE("CGarnexInfo::FillOutProductInfo: m_tInfoGarnex.t_ID.acOwnerStrTwo [%s]\n", GetOwnerStrTwo().c_str());
  return true;
}

void CGarnexInfo::DecodeFeatures() {
  ClearFeatures();
  for (int i = 0; i < static_cast<int>(kFeatureCount); ++i) {
    const WORD id = GetFeatureIdentifier(i);
    // Unused slots hold 0 or erased flash.
    if (id == 0 || id == 0xFFFF) continue;
    AddFeature(FeatureEntry{id, GetFeatureValue(i), FeatureNameOf(id)});
  }
}

WORD CGarnexInfo::GetFeatureIdentifier(int index) const {
  if (index < 0 || index >= static_cast<int>(kFeatureCount)) return 0;
  return Host16(kFeaturesOffset + 4 * static_cast<size_t>(index));
}

WORD CGarnexInfo::GetFeatureValue(int index) const {
  if (index < 0 || index >= static_cast<int>(kFeatureCount)) return 0;
  return Host16(kFeaturesOffset + 4 * static_cast<size_t>(index) + 2);
}

CString CGarnexInfo::GetSerialNumber() const { return serialNumber_; }
CString CGarnexInfo::GetOwnerStrOne() const { return ownerStrOne_; }
CString CGarnexInfo::GetOwnerStrTwo() const { return ownerStrTwo_; }
CString CGarnexInfo::GetProductName() const { return productName_; }

bool CGarnexInfo::HasSerialNumber() const { return !(record_[2] == 0xFF && record_[3] == 0xFF); }

bool CGarnexInfo::IsSameVersion(const CGarnexEmbeddedInfo& image) const {
  const WORD v = image.GetVersion();
  return v / 100 == GetInstalledMajor() && v % 100 == GetInstalledMinor();
}

bool CGarnexInfo::IsOlderThanInstalled(const CGarnexEmbeddedInfo& image) const {
  const int major = GetInstalledMajor(), minor = GetInstalledMinor();
  if (major == 0xFF || minor == 0xFF) return false;
  const int v = image.GetVersion();
  return v / 100 < major || (v / 100 == major && v % 100 < minor);
}

WORD CGarnexInfo::GetProductCode() const {
  const BYTE code = GetProductCodeByte();
  return code != 0 ? code : GetProductId();
}
