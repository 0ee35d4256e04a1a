// Reads, edits and writes the receiver's Ethernet and HTTP-port settings.
#pragma once
#include "plugin/NamedOperation.h"

class CTCPSetupOperation : public CNamedOperation {
 public:
  CTCPSetupOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
