#include "operations/UpdateOperation.h"

#include "afx/Format.h"

CUpdateOperation::CUpdateOperation() : CNamedOperation(0, 1, 2) {}

bool CUpdateOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CUpdateOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(3, m_strName, CString()), 4, 6);
}
