// Base of the receiver's product record: the record size, whether it has been
// filled, and the decoded feature list.
#pragma once
#include <vector>

#include "afx/String.h"
#include "afx/WinTypes.h"

struct FeatureEntry {
  WORD identifier = 0;
  WORD value = 0;
  CString name;
  // An entry counts as enabled when its value is set and not erased flash.
  bool IsEnabled() const { return value != 0 && value != 0xFFFF; }
};

class CLSInfo {
 public:
  CLSInfo(DWORD listCapacity, DWORD recordSize);
  virtual ~CLSInfo();
  CLSInfo(const CLSInfo&) = default;
  CLSInfo& operator=(const CLSInfo&) = default;

  // Size in bytes of the record as the receiver sends it.
  virtual DWORD GetSize() const;
  // Takes a record received from the receiver; false when it is not usable.
  virtual bool FillOutProductInfo(const BYTE* data, DWORD size);

  bool IsFilled() const { return filled_ != 0; }
  // Whether the feature named `name` is listed and enabled.
  bool HasFeature(const char* name) const;
  const std::vector<FeatureEntry>& GetFeatures() const { return features_; }

 protected:
  void ClearFeatures() { features_.clear(); }
  // Appends unless the list is full; false when it was full.
  bool AddFeature(const FeatureEntry& entry);
  void SetFilled(bool filled) { filled_ = filled ? 1 : 0; }

 private:
  std::vector<FeatureEntry> features_;
  BYTE filled_ = 0;
  DWORD capacity_;
  DWORD size_;
};
