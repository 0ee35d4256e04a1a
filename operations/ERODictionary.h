// The settings of the older internal radio as its configuration area holds
// them: a small typed dictionary at the start of the area, big-endian.
//
//   0  2  'E' 'R'
//   2  1  format version (1)
//   3  1  entry count n
//   4     n entries: identifier (2), kind (1: 1, 2 or 4 = value width), value
//   ..  2  16-bit sum of every byte before it
//
// Bytes after the checksum belong to the radio and are written back as read.
// Mode 7 areas end in a 512-byte block of their own whose last two bytes are
// the 16-bit sum of its first 510.
#pragma once
#include <cstddef>
#include <vector>

#include "afx/WinTypes.h"
#include "operations/RadioSettings.h"

class CERODictionary : public CRadioSettings<CERODictionary> {
 public:
  static constexpr WORD kMode = 1;
  static constexpr WORD kSetting = 2;
  static constexpr WORD kChannelCode = 23;
  static constexpr WORD kChannelSpacing = 24;
  static constexpr WORD kTransmitFrequency = 30;
  static constexpr WORD kReceiveFrequency = 31;
  static constexpr WORD kTransmitPower = 148;
  static constexpr size_t kBlockSize = 512;

  struct Entry {
    WORD id = 0;
    BYTE kind = 0;
    DWORD value = 0;
  };

  // False for anything but a complete dictionary with a good checksum, its
  // mode and setting entries present and no identifier twice.
  bool Load(const BYTE* data, size_t size);
  // Writes the dictionary over the start of `data`; false when it does not fit.
  bool Store(BYTE* data, size_t size) const;
  std::vector<BYTE> Encode() const;
  size_t EncodedSize() const;

  const Entry* Find(WORD id) const;
  // The value when the entry exists, else `otherwise`.
  DWORD Get(WORD id, DWORD otherwise = 0) const;
  // Only an existing entry, and only a value its width can hold.
  bool Set(WORD id, DWORD value);

  const std::vector<Entry>& Entries() const { return m_entries; }

  // The trailing block of a mode 7 area.
  static bool CheckBlock(const BYTE* block, size_t size);

 private:
  std::vector<Entry> m_entries;
};
