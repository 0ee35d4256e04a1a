// The operation shape most operations share: name and description loaded
// from the string table when the operation is built.
#pragma once
#include "plugin/Operation.h"

class CNamedOperation : public COperation {
 public:
  CNamedOperation(int pages, UINT nameId, UINT descriptionId);
  const char* GetName() const override { return m_strName.c_str(); }
  const char* GetDescription() const override { return m_strDescription.c_str(); }

 protected:
  // For operations not yet carried by this build: fails the run with a message
  // that names the operation.
  [[noreturn]] void ThrowNotAvailable() const;

  CString m_strName;
  CString m_strDescription;
};
