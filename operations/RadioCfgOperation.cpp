#include "operations/RadioCfgOperation.h"

#include "afx/Format.h"

CRadioCfgOperation::CRadioCfgOperation() : CNamedOperation(0, 71, 72) {}

bool CRadioCfgOperation::Run(OperationParams*) { ThrowNotAvailable(); }

bool CRadioCfgOperation::GetText(unsigned kind, char* buffer, unsigned length) {
  return AnswerText(kind, buffer, length, FormatString(73, m_strName), 74, 76);
}
