// Loads new software into the receiver's internal radio.
#pragma once
#include "plugin/NamedOperation.h"

class CMDSRadioUpdateOperation : public CNamedOperation {
 public:
  CMDSRadioUpdateOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
