// The texts of one error-log entry as the viewer shows and copies them,
// formatted once, and the clipboard routine both viewer dialogs share.
#pragma once
#include "afx/String.h"
#include "operations/ErrorLogEntry.h"

class CErrorEntryText {
 public:
  explicit CErrorEntryText(const CErrorLogEntry& entry);

  // The entry's block for the clipboard: the common lines, then for a long
  // entry the stack pointer, the traces and the user data.
  CString GetBlock() const;
  // Puts `text` on the clipboard as plain text; nothing happens when the
  // clipboard is not available.
  static void CopyToClipboard(const CString& text);

  const CErrorLogEntry& m_entry;
  CString m_strType;
  CString m_strNumber;
  CString m_strTime;
  CString m_strUpTime;
  CString m_strID;
  CString m_strVPC;
  CString m_strPC;
  CString m_strDA;
  CString m_strRR1;
  CString m_strRR2;
  CString m_strVersion;
  CString m_strDate;
};
