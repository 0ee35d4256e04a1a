// The calls both radio dictionaries answer alike, each from its own keys
// (kMode, kSetting, kTransmitPower, kChannelCode) and its own Find, Get and Set.
#pragma once
#include "afx/WinTypes.h"
#include "operations/RadioValue.h"

template <typename Dictionary>
class CRadioSettings : public CRadioValue {
 public:
  int GetMode() const { return static_cast<int>(Self().Get(Dictionary::kMode)); }
  DWORD GetSetting() const { return Self().Get(Dictionary::kSetting); }
  // Only on a present 16-bit entry, and only 0 .. kMaxTransmitPower.
  bool SetTransmitPower(DWORD value) { return SetWhen(Dictionary::kTransmitPower, value, TakesTransmitPower); }
  // Only on a present 16-bit entry, and only one of the channel codes.
  bool SetChannelCode(DWORD value) { return SetWhen(Dictionary::kChannelCode, value, TakesChannelCode); }

  bool operator==(const CRadioSettings&) const = default;

 private:
  const Dictionary& Self() const { return static_cast<const Dictionary&>(*this); }

  template <typename Key>
  bool SetWhen(Key key, DWORD value, bool (*takes)(BYTE kind, DWORD value)) {
    auto& self = static_cast<Dictionary&>(*this);
    const auto* entry = self.Find(key);
    return entry != nullptr && takes(entry->kind, value) && self.Set(key, value);
  }
};
