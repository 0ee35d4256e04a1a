// The clone-file upload's wizard page: which file to send and whether and how
// the receiver installs it. The last choices live in the device key.
#pragma once
#include "afx/PropertyPage.h"

class CLSUploadCloneFilePage : public CPropertyPage {
 public:
  static constexpr UINT IDD = 122;
  static constexpr int IDC_PATH = 1077;
  static constexpr int IDC_BROWSE = 1007;
  static constexpr int IDC_INSTALL = 5115;
  static constexpr int IDC_RESET = 5116;
  static constexpr int IDC_INSTALL_IP = 5117;
  static constexpr int IDC_INSTALL_WIFI = 1131;
  static constexpr int IDC_BITMAP = 1130;

  CLSUploadCloneFilePage();

  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;
  BOOL OnCommand(UINT id, UINT code) override;
  void DoDataExchange(CDataExchange* pDX) override;

  void OnInstallClicked();
  void OnBrowse();

  // Reads the five values of the device key (defaults when it cannot be opened).
  void LoadSettings();
  // Writes the five values; nothing when the key cannot be opened.
  void SaveSettings() const;

  CString m_strPath;
  int m_bInstall = FALSE;
  int m_bReset = FALSE;
  int m_bInstallIP = FALSE;
  int m_bInstallWiFi = FALSE;

 private:
  void EnableDependents();
  // Takes the path and the check states from the controls and stores them.
  void TakeAndStore();
};
