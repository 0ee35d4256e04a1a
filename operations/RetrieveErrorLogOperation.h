// Retrieves, shows and clears the receiver's error log.
#pragma once
#include "plugin/NamedOperation.h"

class CRetrieveErrorLogOperation : public CNamedOperation {
 public:
  CRetrieveErrorLogOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
