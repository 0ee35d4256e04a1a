// Edits the network number of an older internal radio that hops between
// channels instead of keeping fixed frequencies; the radio's mode is shown
// for reference.
#pragma once
#include "afx/Dialog.h"

class CERODictionary;

class CHoppingDialog : public CDialog {
 public:
  static constexpr UINT IDD = 950;
  static constexpr int kNetwork = 951;
  static constexpr int kMode = 952;

  CHoppingDialog(CERODictionary& dictionary, DWORD setting, int mode, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  bool IsChanged() const { return m_bChanged; }

 private:
  CERODictionary& m_dictionary;
  DWORD m_nSetting;
  int m_nMode;
  bool m_bChanged = false;
};
