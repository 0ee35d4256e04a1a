// Shows the receiver's software, boot and radio versions.
#pragma once
#include "plugin/NamedOperation.h"

class CRetrieveVersionOperation : public CNamedOperation {
 public:
  CRetrieveVersionOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
