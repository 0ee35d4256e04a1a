// Edits the channel settings of the older internal radio: transmit and
// receive frequency (kHz), transmit power and channel spacing. A field whose
// entry the radio's dictionary lacks is shown disabled and left alone.
#pragma once
#include <vector>

#include "afx/Dialog.h"
#include "afx/String.h"

class CERODictionary;

class CFrequencyDialog : public CDialog {
 public:
  static constexpr UINT IDD = 940;
  static constexpr int kTransmitFrequency = 941;
  static constexpr int kReceiveFrequency = 942;
  static constexpr int kTransmitPower = 943;
  static constexpr int kChannelSpacing = 944;
  // Frequencies are held in Hz; kHz keeps the largest one within 32 bits.
  static constexpr DWORD kMaxKhz = 0xFFFFFFFFu / 1000;

  CFrequencyDialog(CERODictionary& dictionary, const std::vector<UINT>& spacing, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  // Whether OK changed any value of the dictionary.
  bool IsChanged() const { return m_bChanged; }

  // Decimal digits only, within [low, high].
  static bool ParseNumber(const CString& text, DWORD low, DWORD high, DWORD* value);

 private:
  // Reads one edit into `value`; false after telling the user what it accepts.
  bool ReadField(int control, DWORD low, DWORD high, DWORD* value);

  CERODictionary& m_dictionary;
  const std::vector<UINT>& m_spacing;
  bool m_bChanged = false;
};
