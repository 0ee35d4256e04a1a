// The settings of the newer internal radio, which keeps them itself and hands
// them out through the receiver's pass-through pipe. Settings are addressed
// by group and identifier; a setting holds one unsigned value or a table of
// 32-bit values (channel frequencies).
//
// Byte layout, big-endian:
//   0  2  'P' 'B'
//   2  1  format version (2)
//   3  1  setting count n
//   4     n settings: group (1), identifier (2), kind (1), value
//           kind 1, 2, 4: an unsigned value of that many bytes
//           kind 0x10: a table, count (1, at most kMaxTable) then count 4-byte values
//   ..  2  16-bit sum of every byte before it
// The whole dictionary is at most kMaxEncoded bytes so that it travels in one
// short report frame.
//
// Pipe protocol, once the pipe is open (report 0x84 with receiver port + 1
// and 0x04, acknowledged): each request is a report 0x77 and is answered by a
// 0x77 frame that starts A0 <request>, as for the radio's software update.
//   'r'               read:  A0 'r' 00 <dictionary>
//   'w' <dictionary>  write: A0 'w' status (0 taken whole, 1 refused, nothing taken)
// The radio acts on what it was given once it restarts with the receiver.
#pragma once
#include <cstddef>
#include <vector>

#include "afx/WinTypes.h"
#include "operations/RadioSettings.h"

class CioInterface;

class CPB2Dictionary : public CRadioSettings<CPB2Dictionary> {
 public:
  static constexpr BYTE kRadioType = 0x77;
  static constexpr BYTE kReply = 0xA0;
  static constexpr BYTE kRead = 'r';
  static constexpr BYTE kWrite = 'w';
  static constexpr BYTE kTable = 0x10;
  static constexpr size_t kMaxTable = 16;
  static constexpr size_t kMaxEncoded = 240;

  // Where the settings the operation and its dialog touch live.
  struct Key {
    BYTE group;
    WORD id;
  };
  static constexpr Key kMode{0, 1};
  static constexpr Key kSetting{0, 2};
  static constexpr Key kTransmitPower{1, 1123};
  static constexpr Key kTransmitTable{1, 1130};
  static constexpr Key kChannelCode{2, 23};
  static constexpr Key kReceiveTable{2, 1131};

  struct Setting {
    BYTE group = 0;
    WORD id = 0;
    BYTE kind = 0;
    DWORD value = 0;
    std::vector<UINT> table;
    bool operator==(const Setting&) const = default;
  };

  // False for anything but exactly one complete dictionary with a good sum,
  // its mode and setting present and no setting twice.
  bool Load(const BYTE* data, size_t size);
  // A read reply (A0 'r' 00 then the dictionary).
  bool LoadReply(const BYTE* data, size_t size);
  std::vector<BYTE> Encode() const;

  // Over an open pipe; false when the radio does not answer as above.
  bool Read(CioInterface& port);
  bool Write(CioInterface& port) const;

  const Setting* Find(Key key) const;
  // The value of a present scalar setting, else `otherwise`.
  DWORD Get(Key key, DWORD otherwise = 0) const;
  // Only a present scalar setting, and only a value its width holds.
  bool Set(Key key, DWORD value);
  // Empty when absent or not a table.
  std::vector<UINT> GetTable(Key key) const;
  // Only a present table, 1 to kMaxTable values, and only while the whole still fits.
  bool SetTable(Key key, const std::vector<UINT>& values);

  const std::vector<Setting>& Settings() const { return m_settings; }
  bool operator==(const CPB2Dictionary&) const = default;

 private:
  Setting* FindMutable(Key key);
  size_t EncodedSize() const;
  std::vector<Setting> m_settings;
};
