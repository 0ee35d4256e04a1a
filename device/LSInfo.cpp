#include "device/LSInfo.h"

CLSInfo::CLSInfo(DWORD listCapacity, DWORD recordSize) : capacity_(listCapacity), size_(recordSize) {}

CLSInfo::~CLSInfo() = default;

DWORD CLSInfo::GetSize() const { return size_; }

bool CLSInfo::FillOutProductInfo(const BYTE* /*data*/, DWORD /*size*/) {
  SetFilled(true);
  return true;
}

bool CLSInfo::HasFeature(const char* name) const {
  if (!name) return false;
  for (const FeatureEntry& f : features_)
    if (f.name == name) return f.IsEnabled();
  return false;
}

bool CLSInfo::AddFeature(const FeatureEntry& entry) {
  if (features_.size() >= capacity_) return false;
  features_.push_back(entry);
  return true;
}
