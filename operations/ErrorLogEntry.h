// One entry of the receiver's error log, decoded from an application reply
// or from a record of the "ELog" memory image that the monitor hands out.
#pragma once
#include <cstddef>

#include "afx/Clock.h"
#include "afx/String.h"
#include "afx/WinTypes.h"

class CErrorLogEntry {
 public:
  static constexpr WORD kShortFormat = 2;
  static constexpr WORD kLongFormat = 3;
  static constexpr BYTE kStateValid = 0xFC;
  static constexpr BYTE kStateDeleted = 0xF8;
  static constexpr BYTE kStateEmpty = 0xFE;
  static constexpr BYTE kStateErased = 0xFF;
  static constexpr int kTraceCount = 10;
  static constexpr int kUserDataSize = 40;
  // Reply kinds (second data byte of a 0x92 reply) and their exact lengths.
  static constexpr BYTE kShortReplyKind = 0x09;
  static constexpr BYTE kLongReplyKind = 0x0B;
  static constexpr size_t kShortReplySize = 38;
  static constexpr size_t kLongReplySize = 129;

  // The five places an entry comes from; each has its own field offsets.
  enum class Layout { ShortReply, LongReply, ImageV1, ImageV2, ImageV3 };

  // Every field starts as 0xFF bytes, the state as erased.
  CErrorLogEntry(WORD format, BYTE hostOrder);
  virtual ~CErrorLogEntry() = default;
  CErrorLogEntry(const CErrorLogEntry&) = default;
  CErrorLogEntry& operator=(const CErrorLogEntry&) = default;

  // Decodes a 0x92 reply (FF, kind, fields). On success the format follows
  // the kind and the state becomes valid; on failure nothing changes.
  bool DecodeReply(const BYTE* data, size_t length);
  // Decodes image record bytes (state byte first) of image version 1..3 into
  // the fields; the state byte is taken over. False when the record is short
  // or the version unknown (nothing changes).
  bool DecodeRecord(const BYTE* record, size_t length, int imageVersion);
  // Decodes `layout` without checking reply framing; used by both of the above.
  bool Decode(Layout layout, const BYTE* data, size_t length);
  // Record size in bytes of an image version (0 for an unknown version).
  static size_t RecordSize(int imageVersion);

  // "Startup Error", "Radio Error", "Runtime Warning" or "Runtime Error", from RR1.
  CString GetTypeText() const;
  // One line for the viewer's list.
  CString GetSummary() const;
  // The moment in UTC; false when the receiver did not know the time.
  bool GetUtcTime(SYSTEMTIME* out) const;
  // The UTC time as the viewer shows it, or `unavailable` without a time.
  CString FormatTime(const char* unavailable) const;

  bool IsLong() const { return m_nFormat == kLongFormat; }
  bool IsValid() const { return m_nState == kStateValid; }
  bool IsDeleted() const { return m_nState == kStateDeleted; }
  // The trace values before the first 0.
  int GetTraceLength() const;
  // How many user-data bytes are shown.
  int GetUserDataShown() const;

  // Field order as the receiver keeps it.
  DWORD m_nNumber;
  BYTE m_nID;
  BYTE m_nVPC;
  DWORD m_nPC;
  DWORD m_nDA;
  DWORD m_nRR1;
  DWORD m_nRR2;
  WORD m_nSoftwareVersion;
  WORD m_nSoftwareYear;
  BYTE m_nSoftwareMonth;
  BYTE m_nSoftwareDay;
  DWORD m_nTimeOfWeek;
  WORD m_nWeek;
  DWORD m_nUpTime;
  DWORD m_nStackPointer;
  DWORD m_trace[kTraceCount];
  WORD m_nUserDataLength;
  BYTE m_userData[kUserDataSize];
  BYTE m_nState;
  WORD m_nFormat;
  BYTE m_nUtcOffset = 0;
  BYTE m_bHostOrder;
};
