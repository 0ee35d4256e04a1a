// Resets the receiver's settings to factory defaults and restarts it.
#pragma once
#include "plugin/NamedOperation.h"

class CResetToFactoryDefaultOperation : public CNamedOperation {
 public:
  CResetToFactoryDefaultOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
