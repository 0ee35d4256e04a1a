// "Register Firmware": the user names a firmware file and a description; OK
// opens the file to check it and to read its platform signature.
#pragma once
#include "afx/Dialog.h"

class CAddFirmwareDlg : public CDialog {
 public:
  static constexpr UINT IDD = 131;
  static constexpr int IDC_DESCRIPTION = 1011;
  static constexpr int IDC_PATH = 1008;
  static constexpr int IDC_BROWSE = 1003;

  CAddFirmwareDlg(const char* filter, CWnd* parent = nullptr);

  const CString& GetDescription() const { return description_; }
  const CString& GetPath() const { return path_; }
  // The platform code name read from a container file; empty otherwise.
  const CString& GetSignature() const { return signature_; }

  // The description a file name suggests ("fw_v480_beta.timg" -> "Fw V4.80 Beta");
  // empty when the name or its extension is empty.
  static CString DescriptionFromPath(const char* path);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnCommand(UINT id, UINT code) override;
  void OnOK() override;

 private:
  void OnBrowse();
  // Fills in the description from the path when the description is empty.
  void SuggestDescription();

  CString description_;
  CString path_;
  CString filter_;
  CString invalidFileText_;
  CString emptyFieldsText_;
  CString signature_;
};
