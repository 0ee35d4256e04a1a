#include "operations/TCPSetupDlg.h"

#include <iterator>
#include <utility>

#include "afx/Format.h"

namespace {
constexpr UINT kStaticTextId = 922;
constexpr UINT kDhcpTextId = 923;
constexpr UINT kBadPortId = 924;
constexpr UINT kPortCaptionId = 925;
constexpr int kPortDigits = 5;

const int kAddressControls[] = {CTCPSetupDlg::kIpAddress, CTCPSetupDlg::kNetmask, CTCPSetupDlg::kBroadcast,
                                CTCPSetupDlg::kGateway, CTCPSetupDlg::kDns};
}  // namespace

CTCPSetupDlg::CTCPSetupDlg(NetworkSettings& settings, CWnd* parent) : CDialog(IDD, parent), m_settings(settings) {}

CString CTCPSetupDlg::FormatAddress(const NetworkSettings::Address& a) {
  return FormatText("%u.%u.%u.%u", unsigned{a[0]}, unsigned{a[1]}, unsigned{a[2]}, unsigned{a[3]});
}

bool CTCPSetupDlg::ParseAddress(const CString& text, NetworkSettings::Address* address) {
  NetworkSettings::Address parsed{};
  size_t part = 0;
  unsigned value = 0;
  int digits = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '.';
    if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (++digits > 3 || value > 255) return false;
    } else if (c == '.') {
      if (digits == 0 || part >= 4) return false;
      parsed[part++] = static_cast<BYTE>(value);
      value = 0;
      digits = 0;
    } else {
      return false;
    }
  }
  if (part != 4) return false;
  *address = parsed;
  return true;
}

bool CTCPSetupDlg::ParsePort(const CString& text, WORD* port) {
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  *port = static_cast<WORD>(value);
  return true;
}

BOOL CTCPSetupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWnd* setup = GetDlgItem(kIpSetup);
  setup->ResetContent();
  setup->AddString(AfxLoadString(kDhcpTextId).c_str());
  setup->AddString(AfxLoadString(kStaticTextId).c_str());
  setup->SetCurSel(m_settings.dhcp ? kDhcpRow : kStaticRow);
  const NetworkSettings::Address* values[] = {&m_settings.ip, &m_settings.netmask, &m_settings.broadcast,
                                              &m_settings.gateway, &m_settings.dns};
  for (size_t i = 0; i < std::size(kAddressControls); ++i)
    SetDlgItemText(kAddressControls[i], FormatAddress(*values[i]).c_str());
  GetDlgItem(kHttpPort)->LimitText(kPortDigits);
  SetDlgItemText(kHttpPort, FormatText("%lu", static_cast<unsigned long>(m_settings.httpPort)).c_str());
  UpdateAddressControls();
  return TRUE;
}

void CTCPSetupDlg::UpdateAddressControls() {
  const bool dhcp = GetDlgItem(kIpSetup)->GetCurSel() == kDhcpRow;
  for (int id : kAddressControls) GetDlgItem(id)->EnableWindow(dhcp ? FALSE : TRUE);
}

BOOL CTCPSetupDlg::OnCommand(UINT id, UINT code) {
  if (id == kIpSetup && code == CBN_SELCHANGE) {
    UpdateAddressControls();
    return TRUE;
  }
  return CDialog::OnCommand(id, code);
}

void CTCPSetupDlg::OnOK() {
  CString portText;
  GetDlgItemText(kHttpPort, portText);
  WORD port = 0;
  if (!ParsePort(portText, &port)) {
    MessageBox(FormatString(kBadPortId, portText).c_str(), AfxLoadString(kPortCaptionId).c_str(),
               MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  NetworkSettings edited = m_settings;
  NetworkSettings::Address* targets[] = {&edited.ip, &edited.netmask, &edited.broadcast, &edited.gateway,
                                         &edited.dns};
  for (size_t i = 0; i < std::size(kAddressControls); ++i) {
    CString text;
    GetDlgItemText(kAddressControls[i], text);
    if (!ParseAddress(text, targets[i])) {
      // An address control only holds dotted quads; a batch run may type anything.
      MessageBox(FormatText("%s is not a valid IP address.", text.c_str()).c_str(), nullptr,
                 MB_OK | MB_ICONEXCLAMATION);
      return;
    }
  }
  edited.dhcp = GetDlgItem(kIpSetup)->GetCurSel() == kDhcpRow ? 1 : 0;
  edited.httpPort = port;
  m_settings = std::move(edited);
  EndDialog(IDOK);
}
