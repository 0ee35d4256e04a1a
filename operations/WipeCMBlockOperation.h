// Service entry: erases the receiver's CM flash blocks.
#pragma once
#include "plugin/NamedOperation.h"

class CWipeCMBlockOperation : public CNamedOperation {
 public:
  // The range of the CM blocks in the receiver's flash.
  static constexpr DWORD kFirstAddress = 0x100C0000;
  static constexpr DWORD kLastAddress = 0x100FFFFF;

  CWipeCMBlockOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;
};
