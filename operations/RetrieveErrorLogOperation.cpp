#include "operations/RetrieveErrorLogOperation.h"

#include "afx/Format.h"

CRetrieveErrorLogOperation::CRetrieveErrorLogOperation() : CNamedOperation(0, 21, 22) {}

bool CRetrieveErrorLogOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CRetrieveErrorLogOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(23, m_strName), 24, 26);
}
