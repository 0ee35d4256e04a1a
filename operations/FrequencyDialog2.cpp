#include "operations/FrequencyDialog2.h"

#include <tuple>

#include "afx/Format.h"
#include "operations/FrequencyDialog.h"
#include "operations/PB2Dictionary.h"

namespace {
constexpr UINT kRangeId = 945;
constexpr UINT kCountId = 947;
constexpr UINT kCaptionId = 75;
constexpr DWORD kChannelCodes[] = {0, 1, 2, 256, 512, 768, 1024};

CString Trimmed(const CString& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == CString::npos) return CString();
  return CString(text.substr(first, text.find_last_not_of(' ') - first + 1));
}
}  // namespace

CFrequencyDialog2::CFrequencyDialog2(CPB2Dictionary& dictionary, std::vector<UINT>& transmit,
                                     std::vector<UINT>& receive, CWnd* parent)
    : CDialog(IDD, parent), m_dictionary(dictionary), m_transmit(transmit), m_receive(receive) {}

CString CFrequencyDialog2::FormatTable(const std::vector<UINT>& hz) {
  CString text;
  for (UINT v : hz) text += (text.empty() ? "" : ", ") + FormatText("%u", v / 1000);
  return text;
}

BOOL CFrequencyDialog2::OnInitDialog() {
  CDialog::OnInitDialog();
  const struct {
    int control;
    CPB2Dictionary::Key key;
    const std::vector<UINT>& table;
  } tables[] = {{kTransmitTable, CPB2Dictionary::kTransmitTable, m_transmit},
                {kReceiveTable, CPB2Dictionary::kReceiveTable, m_receive}};
  for (const auto& t : tables) {
    const CPB2Dictionary::Setting* s = m_dictionary.Find(t.key);
    const bool present = s != nullptr && s->kind == CPB2Dictionary::kTable;
    SetDlgItemText(t.control, present ? FormatTable(t.table).c_str() : "");
    GetDlgItem(t.control)->EnableWindow(present ? TRUE : FALSE);
  }
  const bool power = m_dictionary.Find(CPB2Dictionary::kTransmitPower) != nullptr;
  SetDlgItemText(kTransmitPower, power ? FormatText("%u", m_dictionary.Get(CPB2Dictionary::kTransmitPower)).c_str() : "");
  GetDlgItem(kTransmitPower)->EnableWindow(power ? TRUE : FALSE);
  CWnd* code = GetDlgItem(kChannelCode);
  code->ResetContent();
  const DWORD current = m_dictionary.Get(CPB2Dictionary::kChannelCode);
  for (DWORD c : kChannelCodes) {
    const int row = code->AddString(FormatText("%u", c).c_str());
    code->SetItemData(row, c);
    if (c == current) code->SetCurSel(row);
  }
  code->EnableWindow(m_dictionary.Find(CPB2Dictionary::kChannelCode) != nullptr ? TRUE : FALSE);
  return TRUE;
}

void CFrequencyDialog2::Refuse(const CString& text, DWORD low, DWORD high) {
  MessageBox(FormatString(kRangeId, text, low, high).c_str(), AfxLoadString(kCaptionId).c_str(),
             MB_OK | MB_ICONEXCLAMATION);
}

bool CFrequencyDialog2::ReadTable(int control, const std::vector<UINT>& before, std::vector<UINT>* hz) {
  CString text;
  GetDlgItemText(control, text);
  hz->clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const CString item = Trimmed(CString(text.substr(start, comma == CString::npos ? CString::npos : comma - start)));
    DWORD khz = 0;
    if (!CFrequencyDialog::ParseNumber(item, 1, CFrequencyDialog::kMaxKhz, &khz)) {
      Refuse(item, 1, CFrequencyDialog::kMaxKhz);
      return false;
    }
    const size_t i = hz->size();
    // A frequency that is not a whole number of kHz keeps its Hz unless the user changed it.
    hz->push_back(i < before.size() && before[i] / 1000 == khz ? before[i] : khz * 1000);
    if (comma == CString::npos) break;
    start = comma + 1;
  }
  return true;
}

void CFrequencyDialog2::OnOK() {
  CPB2Dictionary edited = m_dictionary;
  std::vector<UINT> transmit = m_transmit;
  std::vector<UINT> receive = m_receive;
  for (auto [control, key, table] : {std::tuple{kTransmitTable, CPB2Dictionary::kTransmitTable, &transmit},
                                     std::tuple{kReceiveTable, CPB2Dictionary::kReceiveTable, &receive}}) {
    if (!GetDlgItem(control)->IsWindowEnabled()) continue;
    const std::vector<UINT> before = *table;
    if (!ReadTable(control, before, table)) return;
    if (!edited.SetTable(key, *table)) {
      MessageBox(FormatString(kCountId, static_cast<unsigned>(CPB2Dictionary::kMaxTable)).c_str(),
                 AfxLoadString(kCaptionId).c_str(), MB_OK | MB_ICONEXCLAMATION);
      return;
    }
  }
  if (GetDlgItem(kTransmitPower)->IsWindowEnabled()) {
    CString text;
    GetDlgItemText(kTransmitPower, text);
    DWORD power = 0;
    if (!CFrequencyDialog::ParseNumber(text, 0, CPB2Dictionary::kMaxTransmitPower, &power)) {
      Refuse(text, 0, CPB2Dictionary::kMaxTransmitPower);
      return;
    }
    edited.Set(CPB2Dictionary::kTransmitPower, power);
  }
  CWnd* code = GetDlgItem(kChannelCode);
  if (code->IsWindowEnabled() && code->GetCurSel() >= 0)
    edited.Set(CPB2Dictionary::kChannelCode, static_cast<DWORD>(code->GetItemData(code->GetCurSel())));
  m_bChanged = !(edited == m_dictionary);
  m_dictionary = edited;
  m_transmit = transmit;
  m_receive = receive;
  EndDialog(IDOK);
}
