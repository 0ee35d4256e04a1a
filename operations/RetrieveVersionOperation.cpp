#include "operations/RetrieveVersionOperation.h"

#include "afx/Format.h"

CRetrieveVersionOperation::CRetrieveVersionOperation() : CNamedOperation(0, 1621, 1622) {
  m_strDescription = FormatString(1622, AfxLoadString(212));
}

bool CRetrieveVersionOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CRetrieveVersionOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(1623, m_strName), 1624, 1626);
}
