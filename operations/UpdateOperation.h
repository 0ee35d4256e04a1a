// Loads new receiver firmware from the firmware catalogue.
#pragma once
#include "plugin/NamedOperation.h"

class CUpdateOperation : public CNamedOperation {
 public:
  CUpdateOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
