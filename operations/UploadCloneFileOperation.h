// Uploads a configuration clone file to the receiver and activates it.
#pragma once
#include "plugin/NamedOperation.h"

class CUploadCloneFileOperation : public CNamedOperation {
 public:
  CUploadCloneFileOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
