// The receiver's error log as an ordered list of entries, and the two ways
// of getting it: entry by entry from a running application, or by decoding
// the "ELog" image that the monitor reads out of flash.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "afx/WinTypes.h"
#include "operations/ErrorLogEntry.h"

class CGarnexInterface;

class CErrorLogMgr {
 public:
  // "ELog", the first word of a log image.
  static constexpr DWORD kImageMagic = 0x454C6F67;
  // Code raised for an image that is not a log image.
  static constexpr DWORD kBadImage = 713;

  CErrorLogMgr() = default;
  virtual ~CErrorLogMgr() = default;
  CErrorLogMgr(const CErrorLogMgr&) = delete;
  CErrorLogMgr& operator=(const CErrorLogMgr&) = delete;

  // Reads every entry from a running application, highest index first.
  // Throws CGarnexException 701 (no break info), 707 (unexpected reply),
  // 708 (no reply); true once the log is read.
  bool RetrieveFromReceiver(CGarnexInterface& device);
  // Decodes a log image of `length` bytes. Throws CGarnexException 713 for a
  // wrong magic or version; false when a record's state byte is unknown (the
  // entries before it stay).
  bool DecodeImage(const BYTE* buffer, size_t length, bool hostOrder);
  // Erases the log in a running application: break info (701), a supported
  // application (709), the clear request and its acknowledgement (708, 707).
  static void ClearOnReceiver(CGarnexInterface& device);

  int GetCount() const { return static_cast<int>(m_entries.size()); }
  // Entries that hold a live record.
  int GetValidCount() const;
  // Entries that the viewer lists: live ones, and deleted ones in diagnostic mode.
  int GetShownCount(bool diagnostic) const;
  CErrorLogEntry* GetAt(int index) const;
  void Clear();
  bool IsRetrieved() const { return m_bRetrieved; }
  // Adds an entry at the end (the manager owns it from now on).
  void Append(std::unique_ptr<CErrorLogEntry> entry) { m_entries.push_back(std::move(entry)); }

 private:
  std::vector<std::unique_ptr<CErrorLogEntry>> m_entries;
  bool m_bRetrieved = false;
};
