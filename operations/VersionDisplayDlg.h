// Shows the receiver's model, software, boot and radio versions and serial numbers.
#pragma once
#include "afx/Dialog.h"
#include "afx/String.h"

class CVersionDisplayDlg : public CDialog {
 public:
  static constexpr UINT IDD = 106;
  static constexpr int kModel = 1018;
  static constexpr int kSoftware = 1017;
  static constexpr int kBoot = 1067;
  static constexpr int kRadio = 1077;
  static constexpr int kSerial = 1019;
  static constexpr int kPcbSerial = 1095;

  CVersionDisplayDlg(const CString& product, const CString& software, const CString& boot, const CString& radio,
                     const CString& serial, const CString& pcbSerial, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

  // Drops leading '0' characters: a field "004.10" reads "4.10".
  static CString StripLeadingZeros(const CString& text);

  CString m_strModel;
  CString m_strSoftware;
  CString m_strBoot;
  CString m_strRadio;
  CString m_strSerial;
  CString m_strPcbSerial;
};
