#include "operations/ErrorEntryText.h"

#include "afx/Format.h"
#include "afx/Ui.h"

CErrorEntryText::CErrorEntryText(const CErrorLogEntry& entry)
    : m_entry(entry),
      m_strType(entry.GetTypeText()),
      m_strNumber(FormatString(201, entry.m_nNumber)),
      m_strTime(entry.FormatTime("N/A")),
      m_strUpTime(FormatString(202, entry.m_nUpTime)),
      m_strID(FormatString(202, entry.m_nID)),
      m_strVPC(FormatString(200, entry.m_nVPC)),
      m_strPC(FormatString(201, entry.m_nPC)),
      m_strDA(FormatString(201, entry.m_nDA)),
      m_strRR1(FormatString(201, entry.m_nRR1)),
      m_strRR2(FormatString(201, entry.m_nRR2)),
      m_strVersion(FormatString(311, entry.m_nSoftwareVersion / 100, entry.m_nSoftwareVersion % 100)),
      m_strDate(FormatString(4013, entry.m_nSoftwareMonth, entry.m_nSoftwareDay, entry.m_nSoftwareYear)) {}

CString CErrorEntryText::GetBlock() const {
  CString text = FormatString(262, m_strType, m_strNumber, m_strID, m_strDA, m_strVPC, m_strPC, m_strRR1, m_strRR2,
                              m_strTime, m_strVersion, m_strDate);
  if (!m_entry.IsLong()) return text;
  text += "Stack Pointer: " + FormatString(201, m_entry.m_nStackPointer) + "\r\n";
  const int traces = m_entry.GetTraceLength();
  for (int i = 0; i < traces; ++i)
    text += FormatText("Trace %d: ", i) + FormatString(201, m_entry.m_trace[i]) + "\r\n";
  text += "User Data:\r\n";
  const int shown = m_entry.GetUserDataShown();
  for (int i = 0; i < shown; ++i)
    text += FormatText(" Offset %d: ", i) + FormatString(201, m_entry.m_userData[i]) + "\r\n";
  return text;
}

void CErrorEntryText::CopyToClipboard(const CString& text) { afx::GetUi().SetClipboardText(text); }
