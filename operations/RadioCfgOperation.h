// Reads, edits and writes the configuration of the receiver's internal radio.
#pragma once
#include "plugin/NamedOperation.h"

class CRadioCfgOperation : public CNamedOperation {
 public:
  CRadioCfgOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
