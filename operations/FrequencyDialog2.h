// Edits the channel settings of the newer internal radio: its transmit and
// receive channel tables (kHz, separated by commas), transmit power and
// channel code. The two tables are the caller's arrays (Hz); OK brings them
// and the dictionary up to date. A field whose setting the radio lacks is
// shown disabled and left alone.
#pragma once
#include <vector>

#include "afx/Dialog.h"
#include "afx/String.h"

class CPB2Dictionary;

class CFrequencyDialog2 : public CDialog {
 public:
  static constexpr UINT IDD = 960;
  static constexpr int kTransmitTable = 961;
  static constexpr int kReceiveTable = 962;
  static constexpr int kTransmitPower = 963;
  static constexpr int kChannelCode = 964;

  CFrequencyDialog2(CPB2Dictionary& dictionary, std::vector<UINT>& transmit, std::vector<UINT>& receive,
                    CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  // Whether OK changed any setting of the dictionary.
  bool IsChanged() const { return m_bChanged; }

  // "450125, 451000" from Hz values.
  static CString FormatTable(const std::vector<UINT>& hz);

 private:
  // Reads one table edit into Hz, keeping a value whose kHz the user left as
  // it was; false after telling the user what it accepts.
  bool ReadTable(int control, const std::vector<UINT>& before, std::vector<UINT>* hz);
  void Refuse(const CString& text, DWORD low, DWORD high);

  CPB2Dictionary& m_dictionary;
  std::vector<UINT>& m_transmit;
  std::vector<UINT>& m_receive;
  bool m_bChanged = false;
};
