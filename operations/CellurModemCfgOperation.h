// Checks that the receiver has a cellular modem fitted.
#pragma once
#include "plugin/NamedOperation.h"

class CCellurModemCfgOperation : public CNamedOperation {
 public:
  CCellurModemCfgOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
