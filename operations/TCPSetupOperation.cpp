#include "operations/TCPSetupOperation.h"

#include "afx/Format.h"

CTCPSetupOperation::CTCPSetupOperation() : CNamedOperation(0, 929, 930) {}

bool CTCPSetupOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CTCPSetupOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(926, m_strName), 927, 928);
}
