// Checks that the receiver has a cellular modem fitted.
#pragma once
#include "afx/String.h"
#include "plugin/NamedOperation.h"

class CCellurModemCfgOperation : public CNamedOperation {
 public:
  CCellurModemCfgOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  bool HasCellularModem() const { return m_bCellularModem; }
  bool HasInternalRadio() const { return m_bInternalRadio; }
  bool HasTransmitRadio() const { return m_bTransmitRadio; }

 private:
  bool m_bCellularModem = false;
  bool m_bInternalRadio = false;
  bool m_bTransmitRadio = false;
  int m_nReceiverPort = 0;  // the receiver's port number as its commands count it (break-info number + 1)
  CString m_strProductName;
};
