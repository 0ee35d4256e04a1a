#include "operations/HoppingDialog.h"

#include "afx/Format.h"
#include "operations/ERODictionary.h"
#include "operations/FrequencyDialog.h"

namespace {
constexpr UINT kRangeId = 945;
constexpr UINT kCaptionId = 75;
constexpr UINT kModeId = 946;
}  // namespace

CHoppingDialog::CHoppingDialog(CERODictionary& dictionary, DWORD setting, int mode, CWnd* parent)
    : CDialog(IDD, parent), m_dictionary(dictionary), m_nSetting(setting), m_nMode(mode) {}

BOOL CHoppingDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(kNetwork, FormatText("%u", m_nSetting).c_str());
  SetDlgItemText(kMode, FormatString(kModeId, m_nMode).c_str());
  return TRUE;
}

void CHoppingDialog::OnOK() {
  const CERODictionary::Entry* entry = m_dictionary.Find(CERODictionary::kSetting);
  const DWORD high = entry && entry->kind == CERODictionary::kByte   ? 0xFFu
                     : entry && entry->kind == CERODictionary::kWord ? 0xFFFFu
                                                                     : 0xFFFFFFFFu;
  CString text;
  GetDlgItemText(kNetwork, text);
  DWORD value = 0;
  if (!CFrequencyDialog::ParseNumber(text, 0, high, &value)) {
    MessageBox(FormatString(kRangeId, text, DWORD{0}, high).c_str(), AfxLoadString(kCaptionId).c_str(),
               MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  m_bChanged = value != m_dictionary.GetSetting();
  m_dictionary.Set(CERODictionary::kSetting, value);
  EndDialog(IDOK);
}
