// Edits the receiver's Ethernet settings and HTTP server port. The five
// address controls follow the IP-setup choice: disabled while DHCP is chosen.
#pragma once
#include <array>

#include "afx/Dialog.h"
#include "afx/String.h"

// The receiver's network settings as the operation reads and writes them.
struct NetworkSettings {
  using Address = std::array<BYTE, 4>;
  BYTE dhcp = 0;
  Address ip{};
  Address netmask{};
  Address gateway{};
  Address dns{};
  Address broadcast{};
  WORD httpPort = 0;
  // Carried from the port reply back to the receiver unchanged.
  std::array<BYTE, 2> portExtra{};
};

class CTCPSetupDlg : public CDialog {
 public:
  static constexpr UINT IDD = 912;
  static constexpr int kIpSetup = 913;
  static constexpr int kIpAddress = 914;
  static constexpr int kNetmask = 915;
  static constexpr int kBroadcast = 916;
  static constexpr int kGateway = 917;
  static constexpr int kDns = 918;
  static constexpr int kHttpPort = 921;
  // Rows of the IP-setup combo box.
  static constexpr int kDhcpRow = 0;
  static constexpr int kStaticRow = 1;

  explicit CTCPSetupDlg(NetworkSettings& settings, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  BOOL OnCommand(UINT id, UINT code) override;
  void OnOK() override;

  // "a.b.c.d" with four decimal parts of 0 to 255.
  static CString FormatAddress(const NetworkSettings::Address& address);
  static bool ParseAddress(const CString& text, NetworkSettings::Address* address);
  // Digits only (an empty text counts as 0) and at most 65535.
  static bool ParsePort(const CString& text, WORD* port);

 private:
  void UpdateAddressControls();

  NetworkSettings& m_settings;
};
