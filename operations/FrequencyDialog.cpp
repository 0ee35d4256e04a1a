#include "operations/FrequencyDialog.h"

#include <utility>

#include "afx/Format.h"
#include "operations/ERODictionary.h"

namespace {
constexpr UINT kRangeId = 945;
constexpr UINT kCaptionId = 75;
}  // namespace

CFrequencyDialog::CFrequencyDialog(CERODictionary& dictionary, const std::vector<UINT>& spacing, CWnd* parent)
    : CDialog(IDD, parent), m_dictionary(dictionary), m_spacing(spacing) {}

bool CFrequencyDialog::ParseNumber(const CString& text, DWORD low, DWORD high, DWORD* value) {
  if (text.empty()) return false;
  unsigned long long parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<unsigned>(c - '0');
    if (parsed > high) return false;
  }
  if (parsed < low) return false;
  *value = static_cast<DWORD>(parsed);
  return true;
}

BOOL CFrequencyDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const struct {
    int control;
    WORD entry;
    DWORD divisor;
  } fields[] = {{kTransmitFrequency, CERODictionary::kTransmitFrequency, 1000},
                {kReceiveFrequency, CERODictionary::kReceiveFrequency, 1000},
                {kTransmitPower, CERODictionary::kTransmitPower, 1}};
  for (const auto& f : fields) {
    const bool present = m_dictionary.Find(f.entry) != nullptr;
    SetDlgItemText(f.control, present ? FormatText("%u", m_dictionary.Get(f.entry) / f.divisor).c_str() : "");
    GetDlgItem(f.control)->EnableWindow(present ? TRUE : FALSE);
  }
  CWnd* spacing = GetDlgItem(kChannelSpacing);
  spacing->ResetContent();
  const bool present = m_dictionary.Find(CERODictionary::kChannelSpacing) != nullptr;
  const DWORD current = m_dictionary.Get(CERODictionary::kChannelSpacing);
  for (UINT code : m_spacing) {
    const int row = spacing->AddString(FormatText("%u", code).c_str());
    spacing->SetItemData(row, code);
    if (code == current) spacing->SetCurSel(row);
  }
  spacing->EnableWindow(present && !m_spacing.empty() ? TRUE : FALSE);
  return TRUE;
}

bool CFrequencyDialog::ReadField(int control, DWORD low, DWORD high, DWORD* value) {
  CString text;
  GetDlgItemText(control, text);
  if (ParseNumber(text, low, high, value)) return true;
  MessageBox(FormatString(kRangeId, text, low, high).c_str(), AfxLoadString(kCaptionId).c_str(),
             MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void CFrequencyDialog::OnOK() {
  CERODictionary edited = m_dictionary;
  for (auto [control, entry] : {std::pair{kTransmitFrequency, CERODictionary::kTransmitFrequency},
                                std::pair{kReceiveFrequency, CERODictionary::kReceiveFrequency}}) {
    if (!GetDlgItem(control)->IsWindowEnabled()) continue;
    DWORD khz = 0;
    if (!ReadField(control, 1, kMaxKhz, &khz)) return;
    // A frequency that is not a whole number of kHz keeps its Hz unless the user changed it.
    if (khz != edited.Get(entry) / 1000) edited.Set(entry, khz * 1000);
  }
  if (GetDlgItem(kTransmitPower)->IsWindowEnabled()) {
    DWORD power = 0;
    if (!ReadField(kTransmitPower, 0, CERODictionary::kMaxTransmitPower, &power)) return;
    edited.Set(CERODictionary::kTransmitPower, power);
  }
  CWnd* spacing = GetDlgItem(kChannelSpacing);
  if (spacing->IsWindowEnabled() && spacing->GetCurSel() >= 0)
    edited.Set(CERODictionary::kChannelSpacing, static_cast<DWORD>(spacing->GetItemData(spacing->GetCurSel())));
  const auto& before = m_dictionary.Entries();
  const auto& after = edited.Entries();
  for (size_t i = 0; i < before.size(); ++i)
    if (before[i].value != after[i].value) m_bChanged = true;
  m_dictionary = edited;
  EndDialog(IDOK);
}
