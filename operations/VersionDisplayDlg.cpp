#include "operations/VersionDisplayDlg.h"

#include "afx/Format.h"

namespace {
constexpr UINT kModelFormatId = 1810;
}

CVersionDisplayDlg::CVersionDisplayDlg(const CString& product, const CString& software, const CString& boot,
                                       const CString& radio, const CString& serial, const CString& pcbSerial,
                                       CWnd* parent)
    : CDialog(IDD, parent),
      m_strModel(FormatString(kModelFormatId, product)),
      m_strSoftware(software),
      m_strBoot(boot),
      m_strRadio(radio),
      m_strSerial(serial),
      m_strPcbSerial(pcbSerial) {}

CString CVersionDisplayDlg::StripLeadingZeros(const CString& text) {
  const size_t first = text.find_first_not_of('0');
  return first == CString::npos ? CString() : CString(text.substr(first));
}

BOOL CVersionDisplayDlg::OnInitDialog() {
  m_strSoftware = StripLeadingZeros(m_strSoftware);
  m_strBoot = StripLeadingZeros(m_strBoot);
  if (!m_strRadio.empty()) m_strRadio = StripLeadingZeros(m_strRadio);
  return CDialog::OnInitDialog();
}

void CVersionDisplayDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, kModel, m_strModel);
  DDX_Text(pDX, kSoftware, m_strSoftware);
  DDX_Text(pDX, kBoot, m_strBoot);
  DDX_Text(pDX, kRadio, m_strRadio);
  DDX_Text(pDX, kSerial, m_strSerial);
  DDX_Text(pDX, kPcbSerial, m_strPcbSerial);
}
