// Service entry: erases the receiver's CM flash blocks.
#pragma once
#include "plugin/NamedOperation.h"

class CWipeCMBlockOperation : public CNamedOperation {
 public:
  CWipeCMBlockOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
