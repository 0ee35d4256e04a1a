// Shows the receiver's software, boot and radio versions.
#pragma once
#include "afx/String.h"
#include "plugin/NamedOperation.h"

class CBreakInfo;
class CSerialInterface;

class CRetrieveVersionOperation : public CNamedOperation {
 public:
  CRetrieveVersionOperation();
  bool Run(OperationParams* params) override;
  bool GetText(unsigned kind, char* buffer, unsigned length) override;

  // The text after "VERSION," up to the next ',' of a radio reply; empty when
  // the reply is too short or names no version.
  static CString ParseRadioVersion(const BYTE* data, UINT size);

 private:
  // "None" without an internal radio or when its pipe does not open.
  CString ReadRadioVersion(CSerialInterface& port, const OperationParams& params, const CBreakInfo& info);
};
